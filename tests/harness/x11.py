"""The X server that the panel shows on (Xvfb), mouse and keys as from a real device (XTEST,
through xdotool and Xlib), and what the screen shows (xwd)."""

import ctypes
import ctypes.util
import os
import re
import shutil
import struct
import subprocess
import time

from .boards import end_group, read_line
from .checks import ScenarioError
from .pixels import Image


def missing_tools():
    """The programs without which no scenario can run on X here."""
    return [tool for tool in ("Xvfb", "xdotool") if shutil.which(tool) is None]


def _xlib():
    xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XFlush.argtypes = xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return xlib


def xwd_image(raw, rect=None):
    """The pixels of an XWD image (xwd's output, Xvfb's screen file), or of its part at
    (x, y, width, height)."""
    fields = struct.unpack(">25I", raw[:100])
    header_size, _, pixmap_format, _, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14:17]
    ncolors = fields[19]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32):
        raise ScenarioError("unexpected screen format: format %d, %d bits per pixel" % (
            pixmap_format, bits_per_pixel))
    data = raw[header_size + 12 * ncolors:]
    x0, y0, w, h = rect if rect else (0, 0, width, height)
    if x0 < 0 or y0 < 0 or x0 + w > width or y0 + h > height:
        raise ScenarioError("%r lies outside the %dx%d screen" % ((x0, y0, w, h), width, height))
    step = bits_per_pixel // 8
    rgb = bytearray(3 * w * h)
    if (step, byte_order, red_mask, green_mask, blue_mask) == (4, 0, 0xFF0000, 0xFF00, 0xFF):
        # Xvfb's own 24-bit depth: B, G, R and a pad byte a pixel, sliced row by row.
        for y in range(h):
            start = (y0 + y) * bytes_per_line + 4 * x0
            row = data[start:start + 4 * w]
            for offset, colour in enumerate((2, 1, 0)):
                rgb[3 * w * y + offset:3 * w * (y + 1):3] = row[colour::4]
        return Image(w, h, rgb)
    order = "little" if byte_order == 0 else "big"

    def channel(pixel, mask):
        shift = (mask & -mask).bit_length() - 1
        return ((pixel & mask) >> shift) * 255 // (mask >> shift)

    at = 0
    for y in range(y0, y0 + h):
        row = data[y * bytes_per_line:(y + 1) * bytes_per_line]
        for x in range(x0, x0 + w):
            pixel = int.from_bytes(row[x * step:(x + 1) * step], order)
            rgb[at:at + 3] = bytes((channel(pixel, red_mask), channel(pixel, green_mask),
                                    channel(pixel, blue_mask)))
            at += 3
    return Image(w, h, rgb)


class Xvfb:
    """Its own X server on a display number that Xvfb picks itself (-displayfd)."""

    platform = "xcb"  # QT_QPA_PLATFORM for the programs shown here
    size = (1024, 768)
    # Read the screen from the server's own frame buffer file (-fbdir) rather than with xwd,
    # whose GetImage of the root shows some clients' windows (Wine's message boxes) black.
    frame_buffer = False

    def __init__(self):
        self.process = None
        self.env = None
        self.screen = None

    def start(self, env, workdir):
        """Starts the server; returns the variables that name it."""
        read_end, write_end = os.pipe()
        log = open(os.path.join(workdir, "xvfb.log"), "wb")
        try:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % self.size,
                 *(["-fbdir", workdir] if self.frame_buffer else []),
                 "-dpi", "96", "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdout=log, stderr=log, stdin=subprocess.DEVNULL,
                env=env, start_new_session=True)
        finally:
            os.close(write_end)
            log.close()
        with os.fdopen(read_end, "rb") as numbers:
            display = ":" + read_line(numbers, 30, "Xvfb's display number")
        if self.frame_buffer:
            self.screen = os.path.join(workdir, "Xvfb_screen0")
        self.env = dict(env, DISPLAY=display)
        return {"DISPLAY": display}

    def running(self):
        return self.process is not None and self.process.poll() is None

    def stop(self):
        end_group(self.process)

    def capture(self, rect=None):
        """The screen, or the part of it at (x, y, width, height)."""
        if self.screen:
            with open(self.screen, "rb") as screen:
                return xwd_image(screen.read(), rect)
        if shutil.which("xwd") is None:
            raise ScenarioError("xwd is missing (Debian package x11-apps)")
        raw = subprocess.run(["xwd", "-root", "-silent"], env=self.env, check=True,
                             stdout=subprocess.PIPE, timeout=30).stdout
        return xwd_image(raw, rect)

    def find_window(self, title):
        """(id, (x, y, width, height)) of the one shown window titled exactly title, else None."""
        found = subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title)],
            env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=30)
        ids = found.stdout.split()
        if len(ids) != 1:
            return None
        shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", ids[0]], env=self.env,
                               check=True, stdout=subprocess.PIPE, timeout=30).stdout.decode()
        values = dict(line.split("=", 1) for line in shell.split())
        return int(ids[0]), tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def raise_window(self, window):
        subprocess.run(["xdotool", "windowraise", str(window)], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, timeout=30)

    def request_close(self, window):
        """Asks a window to close as a window manager's close button does: WM_DELETE_WINDOW.
        (xdotool only destroys windows.)"""
        xlib = _xlib()
        xlib.XInternAtom.restype = ctypes.c_ulong
        xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                    ctypes.c_void_p]
        display = xlib.XOpenDisplay(self.env["DISPLAY"].encode())
        if not display:
            raise ScenarioError("cannot open the display to close window %d" % window)
        try:
            event = _ClientMessage(type=33, window=window, format=32,  # 33: ClientMessage
                                   message_type=xlib.XInternAtom(display, b"WM_PROTOCOLS", 0))
            event.data[0] = xlib.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
            if not xlib.XSendEvent(display, window, 0, 0, ctypes.byref(event)):
                raise ScenarioError("XSendEvent failed for window %d" % window)
        finally:
            xlib.XCloseDisplay(display)  # flushes the event


class _ClientMessage(ctypes.Structure):
    """Xlib's XClientMessageEvent, padded to the size of an XEvent."""
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


class Xdotool:
    """Mouse and keyboard through xdotool: XTEST events, which Qt takes as from a real device."""

    def __init__(self, env):
        self.env = env

    def run(self, *args):
        subprocess.run(["xdotool", *[str(a) for a in args]], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, timeout=30)

    def click(self, x, y, button=1):
        self.run("mousemove", x, y, "click", button)

    def click_centre(self, rect):
        x, y, w, h = rect
        self.click(x + w // 2, y + h // 2)

    def press(self, x, y):
        self.run("mousemove", x, y, "mousedown", 1)

    def move(self, x, y):
        self.run("mousemove", x, y)

    def release(self):
        self.run("mouseup", 1)

    def key(self, name):
        self.run("key", name)

    def path(self, points, press=False, release=False):
        """The pointer through every point in one go, the button pressed at the first one and
        released after the last one if asked: as fast as a hand drags."""
        args = []
        for number, (x, y) in enumerate(points):
            args += ["mousemove", x, y] + (["mousedown", 1] if press and number == 0 else [])
        self.run(*args, *(["mouseup", 1] if release else []))

    def click_now(self):
        """A click of the left button where the pointer is, sent from this process; returns the
        time it was handed to the X server (xdotool's own start took up to 1 s)."""
        xlib = _xlib()
        xtest = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        xtest.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                               ctypes.c_ulong]
        display = xlib.XOpenDisplay(self.env["DISPLAY"].encode())
        if not display:
            raise ScenarioError("cannot open the display to click")
        try:
            for pressed in (1, 0):
                xtest.XTestFakeButtonEvent(display, 1, pressed, 0)
            xlib.XFlush(display)
            return time.monotonic()
        finally:
            xlib.XCloseDisplay(display)
