"""Runs the built panel in a real X server and drives it as a user would, for the end-to-end tests.

How the window is read
----------------------
Through Qt's own accessibility, over AT-SPI. The panel runs with QT_LINUX_ACCESSIBILITY_ALWAYS_ON
on a private D-Bus session bus; pyatspi (Debian's python3-pyatspi) asks it for the text of every
field, the value of every slider, the screen rectangle of every control and the text of every
message box. That is what the toolkit itself knows, so it needs no image matching, no fonts and no
pixel arithmetic, and it cannot mistake a stale frame for the current one. It also turned out fully
workable here: Qt 6.4 exposes every control with its role, its extents in screen pixels, the
fields' text, the sliders' values and each QMessageBox as an "alert" holding its label.

Controls are found by their accessible names ("Channel 0 position", "Save Pos", ...), which
every control of the window has; a name that is missing or given twice fails the run with a list
of what the window holds. Where each control sits is the window tests' business, not repeated here.

Mouse and keyboard go through xdotool (XTEST), so Qt sees real pointer and key events. The screen
is captured with xwd and written as PNG here, with the standard library only.

Every wait is a poll with a deadline. Each Session starts its own Xvfb (on a free display number
that Xvfb picks itself, -displayfd), its own D-Bus session with the accessibility bus that it
starts on demand, its own simulated boards on pseudo-terminals and its own panel, all in new
process groups, and ends every one of them on the way out, also after a failure.
"""

import ctypes
import ctypes.util
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import threading
import time
import zlib

class E2EError(AssertionError):
    """A wait that ran out or a window that is not as laid out."""


def poll(probe, timeout, what, interval=0.02):
    """Calls probe() until it returns something other than None or False; returns that.

    Errors of the probe's calls count as "not yet" (the panel may be busy and not answer AT-SPI
    calls); the last one is named if the deadline passes. A failed check in the probe
    (AssertionError, E2EError) fails the wait at once.
    """
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            result = probe()
            if result is not None and result is not False:
                return result
        except AssertionError:
            raise
        except Exception as error:  # noqa: BLE001 - a call that failed means "not yet"
            last_error = error
        if time.monotonic() >= deadline:
            detail = " (last error: %r)" % (last_error,) if last_error else ""
            raise E2EError("timed out after %.1f s waiting for %s%s" % (timeout, what, detail))
        time.sleep(interval)


def missing_tools():
    """The programs without which no end-to-end test can run here."""
    return [tool for tool in ("Xvfb", "xdotool") if shutil.which(tool) is None]


# Where Qt's serial port takes its lock file: the first of these folders that it may write to.
LOCK_FOLDERS = ("/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp",
                "/var/tmp", "/var/lock/lockdev", "/run/lock")


def serial_lock_file(device):
    """The lock file that Qt's serial port holds while device is open: named after the real
    device behind any symbolic link, as the panel opens it (LCK..pts_3 for /dev/pts/3)."""
    real = os.path.realpath(device)
    if real.startswith("/dev/"):
        real = real[len("/dev/"):]
    name = "LCK.." + real.replace("/", "_")
    for folder in LOCK_FOLDERS:
        path = os.path.join(folder, name)
        if os.path.exists(path):
            return path
    return None


def _end_group(process, grace=5.0):
    """Ends a process started with start_new_session=True and everything in its group."""
    if process is None:
        return
    for sig, wait in ((signal.SIGTERM, grace), (signal.SIGKILL, grace)):
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            pass
        try:
            process.wait(timeout=wait)
        except subprocess.TimeoutExpired:
            continue
        # The leader is gone; give the rest of its group (D-Bus activated services) a moment.
        deadline = time.monotonic() + wait
        while time.monotonic() < deadline:
            try:
                os.killpg(process.pid, 0)
            except ProcessLookupError:
                return
            time.sleep(0.02)
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


def _read_line(stream, timeout, what):
    """One line from a pipe, waiting at most timeout seconds."""
    deadline = time.monotonic() + timeout
    data = b""
    fd = stream.fileno()
    while not data.endswith(b"\n"):
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            raise E2EError("timed out waiting for %s" % what)
        ready, _, _ = select.select([fd], [], [], remaining)
        if ready:
            chunk = os.read(fd, 1)
            if not chunk:
                raise E2EError("%s: the pipe closed before a line came" % what)
            data += chunk
    return data.decode().strip()


class Board:
    """The simulated board on a pseudo-terminal, with every command it has decoded."""

    COMMAND = re.compile(r"^command channel (\d+) position (\d+)$")

    def __init__(self, program, link, workdir, options=(), env=None):
        self.link = link
        self._lock = threading.Condition()
        self._commands = []
        self._other_lines = []
        self._stderr = open(os.path.join(workdir, os.path.basename(link) + ".stderr"), "wb")
        self.process = subprocess.Popen(
            [program, "--link", link, *options], stdout=subprocess.PIPE, stderr=self._stderr,
            stdin=subprocess.DEVNULL, env=env, start_new_session=True)
        first = _read_line(self.process.stdout, 10, "the board's device line")
        if not first.startswith("device "):
            raise E2EError("the board printed %r instead of its device" % first)
        self.device = first[len("device "):]
        poll(lambda: os.path.islink(link), 10, "the board's link " + link)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for raw in self.process.stdout:
            line = raw.decode(errors="replace").strip()
            match = self.COMMAND.match(line)
            with self._lock:
                if match:
                    self._commands.append((int(match.group(1)), int(match.group(2))))
                else:
                    self._other_lines.append(line)
                self._lock.notify_all()

    def commands(self):
        """Every (channel, position) decoded so far, in order."""
        with self._lock:
            return list(self._commands)

    def count(self):
        with self._lock:
            return len(self._commands)

    def wait_for_count(self, count, timeout=10.0):
        """Waits until at least count commands have arrived; returns all of them."""
        deadline = time.monotonic() + timeout
        with self._lock:
            while len(self._commands) < count:
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise E2EError("board %s: %d commands after %.1f s, waited for %d: %s" % (
                        self.link, len(self._commands), timeout, count, self._commands[-20:]))
                self._lock.wait(remaining)
            return list(self._commands)

    def stop(self):
        _end_group(self.process)
        if self.process.stdout:
            self.process.stdout.close()
        self._stderr.close()


class Screen:
    """What the panel's window shows, read over AT-SPI."""

    def __init__(self, pid):
        # Imported here: pyatspi connects to the bus named by the environment of its first use,
        # which the Session sets up before making a Screen.
        try:
            import pyatspi
            from gi.repository import Atspi
        except ImportError as error:
            raise E2EError("pyatspi is missing (Debian package python3-pyatspi; it belongs to "
                           "/usr/bin/python3): %s" % error) from error
        self.pyatspi = pyatspi
        self.atspi = Atspi
        # Calls made while the panel is busy just wait.
        Atspi.set_timeout(5000, 30000)
        self.pid = pid
        self.controls = {}
        self.client = None

    def application(self):
        desktop = self.pyatspi.Registry.getDesktop(0)
        desktop.clearCache()
        for app in desktop:
            if app is not None and app.get_process_id() == self.pid:
                app.setCacheMask(self.atspi.Cache.NONE)
                app.clearCache()
                return app
        return None

    @staticmethod
    def extents(accessible):
        box = accessible.queryComponent().getExtents(0)  # 0: screen (desktop) coordinates
        return (box.x, box.y, box.width, box.height)

    def main_frame(self):
        app = self.application()
        if app is None:
            return None
        for child in app:
            if child.getRoleName() == "frame" and child.name == "Tolvane":
                return child
        return None

    def find_controls(self, timeout=30.0):
        """Finds every named control of the window; fails when two share a name."""
        frame = poll(self.main_frame, timeout, "the panel's window on AT-SPI")
        self.client = poll(lambda: next((c for c in frame if c.getRoleName() == "filler"), None),
                           timeout, "the window's client area")
        named = [(c.name, c) for c in self.client if c.name]
        self.controls = dict(named)
        if len(self.controls) != len(named):
            raise E2EError("controls share a name: %s" % sorted(name for name, _ in named))
        return self.controls

    def control(self, name):
        if name not in self.controls:
            raise E2EError("no control named %r; the window holds %s" % (
                name, sorted(self.controls)))
        return self.controls[name]

    def rect(self, name):
        return self.extents(self.control(name))

    def text(self, name):
        return self.control(name).queryText().getText(0, -1)

    def value(self, name):
        return int(self.control(name).queryValue().currentValue)

    def window_rect(self):
        return self.extents(self.main_frame())

    def message_boxes(self):
        """(text, accessible) of every message box now open, oldest first."""
        app = self.application()
        boxes = []
        for child in app or []:
            if child.getRoleName() not in ("alert", "dialog"):
                continue
            texts = [c.name for c in child if c.getRoleName() == "label" and c.name]
            boxes.append((" ".join(texts), child))
        return boxes

    @staticmethod
    def identity(accessible):
        """The object's path on the bus: Qt never hands the same one to a later message box."""
        return accessible.path

    def is_active(self, accessible):
        return accessible.getState().contains(self.pyatspi.STATE_ACTIVE)

    def menu_item(self, *path):
        """The menu entry reached by captions, e.g. ("Com Port", "Com2,2400,N,8,1")."""
        node = self.main_frame()
        bar = next(c for c in node if c.getRoleName() == "menu bar")
        node = bar
        for caption in path:
            node = self._find_descendant(node, caption)
            if node is None:
                return None
        return node

    def _find_descendant(self, node, caption):
        for child in node:
            if child.getRoleName() == "menu item" and child.name == caption:
                return child
            found = self._find_descendant(child, caption)
            if found is not None:
                return found
        return None


class Input:
    """Mouse and keyboard through xdotool (XTEST events, as from a real device)."""

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


def find_window(env, title):
    """(id, (x, y, width, height)) of the one shown window titled exactly title, else None."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title)],
                           env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=30)
    ids = found.stdout.split()
    if len(ids) != 1:
        return None
    shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", ids[0]], env=env,
                           check=True, stdout=subprocess.PIPE, timeout=30).stdout.decode()
    values = dict(line.split("=", 1) for line in shell.split())
    return int(ids[0]), tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))


class _ClientMessage(ctypes.Structure):
    """Xlib's XClientMessageEvent, padded to the size of an XEvent."""
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


def request_close(window):
    """Asks a window to close as a window manager's close button does: WM_DELETE_WINDOW.
    (xdotool only destroys windows.) Uses this process's DISPLAY."""
    xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XInternAtom.restype = ctypes.c_ulong
    xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                ctypes.c_void_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = xlib.XOpenDisplay(None)
    if not display:
        raise E2EError("cannot open the display to close window %d" % window)
    try:
        event = _ClientMessage(type=33, window=window, format=32,  # 33: ClientMessage
                               message_type=xlib.XInternAtom(display, b"WM_PROTOCOLS", 0))
        event.data[0] = xlib.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
        if not xlib.XSendEvent(display, window, 0, 0, ctypes.byref(event)):
            raise E2EError("XSendEvent failed for window %d" % window)
    finally:
        xlib.XCloseDisplay(display)  # flushes the event


def capture(env, rect=None):
    """The screen, or the part of it given as (x, y, width, height), as (width, height, rgb)."""
    if shutil.which("xwd") is None:
        raise E2EError("xwd is missing (Debian package x11-apps)")
    raw = subprocess.run(["xwd", "-root", "-silent"], env=env, check=True,
                         stdout=subprocess.PIPE, timeout=30).stdout
    fields = struct.unpack(">25I", raw[:100])
    header_size, _, pixmap_format, _, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14:17]
    ncolors = fields[19]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32):
        raise E2EError("unexpected screen format: format %d, %d bits per pixel" % (
            pixmap_format, bits_per_pixel))
    data = raw[header_size + 12 * ncolors:]
    x0, y0, w, h = rect if rect else (0, 0, width, height)
    step = bits_per_pixel // 8
    order = "little" if byte_order == 0 else "big"

    def channel(pixel, mask):
        shift = (mask & -mask).bit_length() - 1
        return ((pixel & mask) >> shift) * 255 // (mask >> shift)

    rgb = bytearray()
    for y in range(y0, y0 + h):
        row = data[y * bytes_per_line:(y + 1) * bytes_per_line]
        for x in range(x0, x0 + w):
            pixel = int.from_bytes(row[x * step:(x + 1) * step], order)
            rgb += bytes((channel(pixel, red_mask), channel(pixel, green_mask),
                          channel(pixel, blue_mask)))
    return w, h, bytes(rgb)


def write_png(path, width, height, rgb):
    def chunk(kind, payload):
        body = kind + payload
        return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body))

    rows = b"".join(b"\x00" + rgb[y * width * 3:(y + 1) * width * 3] for y in range(height))
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "wb") as out:
        out.write(png)


class Session:
    """One panel in its own X server, on its own boards; a context manager that cleans up.

    boards: port number -> extra board options, e.g. {1: (), 2: ("--no-reply",)}. A port without
    a board gets a device path that does not exist.
    """

    def __init__(self, panel, board, artifacts, name, boards=None, style=None):
        self.panel_program = panel
        self.board_program = board
        self.artifacts = artifacts
        self.name = name
        self.board_options = {1: ()} if boards is None else boards
        self.style = style
        self.boards = {}
        self.device_paths = {}
        self.workdir = None
        self._xvfb = None
        self._bus = None
        self.panel = None
        self.panel_log = None
        self.env = None
        self.screen = None
        self.input = None
        self._open_box = None
        self._exit_expected = False

    # ---- start-up and clean-up ------------------------------------------------------------

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self._stop(failed=True)
            raise
        return self

    def __exit__(self, kind, value, traceback):
        ended = None
        if kind is None and not self._exit_expected and self.panel.poll() is not None:
            ended = self.panel.returncode
        self._stop(failed=kind is not None or ended is not None)
        if ended is not None:
            raise E2EError("the panel ended by itself during the test, with code %d" % ended)
        return False

    def _start(self):
        self.workdir = tempfile.mkdtemp(prefix="tolvane-e2e-")
        runtime = os.path.join(self.workdir, "runtime")
        os.mkdir(runtime, 0o700)
        env = {k: v for k, v in os.environ.items()
               if k not in ("QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "XDG_CURRENT_DESKTOP",
                            "DESKTOP_SESSION", "WAYLAND_DISPLAY", "SESSION_MANAGER",
                            "AT_SPI_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS")}
        env.update({"XDG_RUNTIME_DIR": runtime, "GSETTINGS_BACKEND": "memory",
                    "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", "NO_AT_BRIDGE": "0"})
        env["DISPLAY"] = self._start_xvfb(env)
        env["DBUS_SESSION_BUS_ADDRESS"] = self._start_bus(env)
        self.env = env
        # pyatspi in this process talks to this display and bus.
        for key in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "GSETTINGS_BACKEND"):
            os.environ[key] = env[key]

        for port in (1, 2):
            path = os.path.join(self.workdir, "COM%d" % port)
            self.device_paths[port] = path
            if port in self.board_options:
                # On this X server, should it open its window (ctest may ask for offscreen).
                self.boards[port] = Board(self.board_program, path, self.workdir,
                                          self.board_options[port],
                                          dict(env, QT_QPA_PLATFORM="xcb"))
        self.start_panel()

    def _start_xvfb(self, env):
        read_end, write_end = os.pipe()
        log = open(os.path.join(self.workdir, "xvfb.log"), "wb")
        try:
            self._xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                 "-dpi", "96", "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdout=log, stderr=log, stdin=subprocess.DEVNULL,
                env=env, start_new_session=True)
        finally:
            os.close(write_end)
            log.close()
        with os.fdopen(read_end, "rb") as numbers:
            display = ":" + _read_line(numbers, 30, "Xvfb's display number")
        return display

    def _start_bus(self, env):
        if shutil.which("dbus-daemon") is None:
            raise E2EError("dbus-daemon is missing (Debian package dbus-daemon)")
        self._bus = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
            env=env, start_new_session=True)
        return _read_line(self._bus.stdout, 30, "the session bus address")

    def start_panel(self):
        env = dict(self.env)
        env.update({
            "QT_QPA_PLATFORM": "xcb",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_ACCESSIBILITY": "1",
        })
        env.update(self.panel_devices())
        if self.style:
            env["QT_STYLE_OVERRIDE"] = self.style
        self.panel_log = os.path.join(self.workdir, "panel.log")
        with open(self.panel_log, "wb") as log:
            self.panel = subprocess.Popen([self.panel_program], env=env, stdout=log, stderr=log,
                                          stdin=subprocess.DEVNULL, start_new_session=True)
        self.input = Input(self.env)
        self.screen = Screen(self.panel.pid)
        self.screen.find_controls(timeout=self.find_timeout)

    # How long the panel may take to show its window.
    find_timeout = 30.0

    def panel_devices(self):
        """The variables that name the devices behind COM1 and COM2."""
        return {"TOLVANE_COM%d" % port: path for port, path in self.device_paths.items()}

    def _stop(self, failed):
        if failed and self.env and self._xvfb and self._xvfb.poll() is None:
            try:
                self.save_screenshot(os.path.join(self.artifacts, self.name + "-failure.png"))
            except Exception as error:  # noqa: BLE001 - the failure itself matters more
                print("no failure screenshot: %r" % (error,))
        _end_group(self.panel)
        for board in self.boards.values():
            board.stop()
        if self._bus:
            _end_group(self._bus)
            self._bus.stdout.close()
        _end_group(self._xvfb)
        for path in self.device_paths.values():
            # A panel that was killed leaves the serial port's lock file behind.
            stale = serial_lock_file(path)
            if stale:
                os.remove(stale)
        if failed:
            self._print_logs()
        if self.workdir:
            shutil.rmtree(self.workdir, ignore_errors=True)

    def _print_logs(self):
        for name in sorted(os.listdir(self.workdir)):
            path = os.path.join(self.workdir, name)
            if os.path.isfile(path) and os.path.getsize(path):
                with open(path, "rb") as log:
                    print("---- %s ----\n%s" % (name, log.read()[-4000:].decode(errors="replace")))

    # ---- what tests use -------------------------------------------------------------------

    def save_screenshot(self, path, rect=None):
        width, height, rgb = capture(self.env, rect)
        write_png(path, width, height, rgb)
        return path

    def window_pixels(self):
        """(rect, width, height, rgb) of the panel's window as the screen shows it."""
        rect = self.screen.window_rect()
        width, height, rgb = capture(self.env, rect)
        return rect, width, height, rgb

    def click(self, name):
        self.input.click_centre(self.screen.rect(name))

    def open_fds_to(self, path):
        """True while the panel holds the device behind path open."""
        target = os.path.realpath(path)
        fd_dir = "/proc/%d/fd" % self.panel.pid
        for fd in os.listdir(fd_dir):
            try:
                if os.path.realpath(os.path.join(fd_dir, fd)) == target:
                    return True
            except OSError:
                continue
        return False

    def wait_for_message(self, timeout=15.0):
        """Waits for exactly one message box, active (so keys reach it); returns its text."""
        def one_active_box():
            boxes = self.screen.message_boxes()
            if len(boxes) > 1:
                raise E2EError("%d message boxes at once: %r" % (len(boxes),
                                                                 [t for t, _ in boxes]))
            if boxes and self.screen.is_active(boxes[0][1]):
                return boxes[0]
            return None
        text, box = poll(one_active_box, timeout, "a message box")
        self._open_box = self.screen.identity(box)
        return text

    def dismiss_message(self, key="Return", timeout=15.0):
        """Closes the message box that wait_for_message found, with a key; waits until it is
        gone (the next one may already be open by then)."""
        closing = self._open_box
        self.input.key(key)
        poll(lambda: all(self.screen.identity(box) != closing
                         for _, box in self.screen.message_boxes()),
             timeout, "the message box to close after %s" % key)

    def assert_no_message(self, watch=1.0):
        """Fails if a message box is open now or opens within `watch` seconds."""
        deadline = time.monotonic() + watch
        while True:
            boxes = self.screen.message_boxes()
            if boxes:
                raise E2EError("unexpected message box: %r" % [t for t, _ in boxes])
            if time.monotonic() >= deadline:
                return
            time.sleep(0.05)

    def shown_menu_item(self, title, item):
        """The screen rectangle of a menu item while its menu is open, else None."""
        entry = self.screen.menu_item(title, item)
        if entry is None:
            return None
        x, y, w, h = self.screen.extents(entry)
        showing = entry.getState().contains(self.screen.pyatspi.STATE_SHOWING)
        return (x, y, w, h) if showing and w > 0 and h > 0 and y > 0 else None

    def choose_menu(self, title, item, timeout=10.0):
        """Opens a menu of the menu bar with the mouse and clicks one of its items."""
        self.input.click_centre(self.screen.extents(self.screen.menu_item(title)))
        self.input.click_centre(poll(lambda: self.shown_menu_item(title, item), timeout,
                                     "menu item " + item))

    def wait_for_exit(self, timeout=15.0):
        """Waits for the panel to end, as it should now; returns its exit code."""
        self._exit_expected = True
        return poll(lambda: self.panel.poll() is not None and (self.panel.returncode,),
                    timeout, "the panel to end")[0]
