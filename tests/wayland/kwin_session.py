"""KWin, KDE's compositor, headless as a session's display for the panel natively on Wayland, and
its fake input as the session's input (the parts of tests/harness that a Wayland stage plugs in).

KWin is the compositor of KDE Plasma, whose Wayland session has qt6-wayland installed, so Qt runs
natively there. It runs on its X11 backend, its output a window on a private Xvfb: the pixels are
Xvfb's. (`kwin_wayland --virtual` needs no X server, but without a GPU's render node KWin 6
composites with QPainter there, and its screenshot interface is an OpenGL effect: Debian 13's
KWin 6.3 had no way to give pixels.) The panel is a Wayland client of KWin all the same; only
KWin itself draws into the X server.

- Input: KWin's org_kde_kwin_fake_input, spoken over the Wayland socket by the small client below
  (the wire protocol needs no library). KWin feeds it through its own input pipeline as a device
  of the seat, so focus, activation, popup grabs and key repeat are KWin's own. The device lives
  as long as the connection: one connection a session, so it is added once.
- Where windows are: a Wayland client does not know its position, and Qt reports accessible
  extents relative to its window. A KWin script, loaded over D-Bus, reports every window's
  caption, pid and geometry on KWin's log.
- The session bus: KWin's, which the panel's accessibility shares, as on a desktop.
KWin lets only clients named in a desktop file use the fake input; its own switch
KWIN_WAYLAND_NO_PERMISSION_CHECKS lets this private session's clients in instead.

Needs the standard library, and python3-gi (Gio) for D-Bus, which pyatspi needs as well.
"""

import json
import os
import shutil
import socket
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from harness.atspi import SessionBus  # noqa: E402
from harness.boards import end_group  # noqa: E402
from harness.checks import ScenarioError, equal, poll  # noqa: E402
from harness.x11 import Xvfb  # noqa: E402

SOCKET = "wayland-tolvane"

# Linux input event codes (linux/input-event-codes.h), by the key names xdotool uses.
KEYS = {
    "Escape": 1, "BackSpace": 14, "Tab": 15, "Return": 28, "Control_L": 29, "ctrl": 29,
    "Shift_L": 42, "shift": 42, "Alt_L": 56, "alt": 56, "space": 57, "F10": 68,
    "Home": 102, "Up": 103, "Page_Up": 104, "Left": 105, "Right": 106, "End": 107, "Down": 108,
    "Page_Down": 109, "Delete": 111, "minus": 12, "period": 52,
}
KEYS.update({str(digit): 2 + (digit + 9) % 10 for digit in range(10)})  # 1..9 -> 2..10, 0 -> 11
KEYS.update({letter: code for letter, code in zip(
    "qwertyuiop", range(16, 26))})
KEYS.update({letter: code for letter, code in zip("asdfghjkl", range(30, 39))})
KEYS.update({letter: code for letter, code in zip("zxcvbnm", range(44, 51))})
BUTTONS = {1: 0x110, 2: 0x112, 3: 0x111}  # BTN_LEFT, BTN_MIDDLE, BTN_RIGHT


class WaylandWire:
    """A Wayland client on the wire: binds globals, sends requests, waits for round trips."""

    def __init__(self, path, timeout=10.0):
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.socket.settimeout(timeout)
        self.socket.connect(path)
        self._next_id = 2  # 1 is wl_display
        self._received = b""
        self.globals = {}
        self._registry = self._new_id()
        self.send(1, 1, struct.pack("<I", self._registry))  # wl_display.get_registry
        self.roundtrip()

    def _new_id(self):
        self._next_id += 1
        return self._next_id - 1

    def send(self, target, opcode, payload=b""):
        self.socket.sendall(struct.pack("<II", target, (8 + len(payload)) << 16 | opcode) + payload)

    @staticmethod
    def string(text):
        data = text.encode() + b"\0"
        return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)

    def _message(self):
        while True:
            if len(self._received) >= 8:
                target, size_opcode = struct.unpack("<II", self._received[:8])
                size = size_opcode >> 16
                if len(self._received) >= size:
                    body, self._received = self._received[8:size], self._received[size:]
                    return target, size_opcode & 0xFFFF, body
            chunk = self.socket.recv(65536)
            if not chunk:
                raise ScenarioError("the compositor closed the Wayland connection")
            self._received += chunk

    def roundtrip(self):
        """Returns once the compositor has handled every request sent before."""
        callback = self._new_id()
        self.send(1, 0, struct.pack("<I", callback))  # wl_display.sync
        while True:
            target, opcode, body = self._message()
            if target == callback:
                return
            if target == 1 and opcode == 0:  # wl_display.error
                length = struct.unpack("<I", body[8:12])[0]
                raise ScenarioError("Wayland error: %s" % body[12:12 + length - 1].decode())
            if target == self._registry and opcode == 0:  # wl_registry.global
                name, length = struct.unpack("<II", body[:8])
                interface = body[8:8 + length - 1].decode()
                version = struct.unpack("<I", body[8 + length + (-length % 4):][:4])[0]
                self.globals[interface] = (name, version)

    def bind(self, interface, version):
        if interface not in self.globals:
            raise ScenarioError("the compositor offers no %s (it offers %s)" % (
                interface, ", ".join(sorted(self.globals))))
        name, offered = self.globals[interface]
        new = self._new_id()
        self.send(self._registry, 0, struct.pack("<I", name) + self.string(interface)
                  + struct.pack("<II", min(offered, version), new))
        return new

    def close(self):
        self.socket.close()


def fixed(value):
    return struct.pack("<i", int(round(value * 256)))


class FakeInput:
    """Pointer and keyboard through KWin's fake input device, on the display that env names; the
    calls of the harness's input.

    Every call returns after KWin has handled its events, so they reach the panel in order."""

    # org_kde_kwin_fake_input requests
    AUTHENTICATE, BUTTON, POINTER_MOTION_ABSOLUTE, KEYBOARD_KEY = 0, 2, 9, 10

    def __init__(self, env):
        self.wire = WaylandWire(os.path.join(env["XDG_RUNTIME_DIR"], env["WAYLAND_DISPLAY"]))
        self.device = self.wire.bind("org_kde_kwin_fake_input", 4)
        self.wire.send(self.device, self.AUTHENTICATE,
                       self.wire.string("Tolvane scenarios") + self.wire.string("tests"))
        self.wire.roundtrip()

    def _event(self, opcode, payload):
        self.wire.send(self.device, opcode, payload)
        self.wire.roundtrip()

    def move(self, x, y):
        self._event(self.POINTER_MOTION_ABSOLUTE, fixed(x) + fixed(y))

    def _button(self, button, pressed):
        self._event(self.BUTTON, struct.pack("<II", BUTTONS[button], 1 if pressed else 0))

    def press(self, x, y):
        self.move(x, y)
        self._button(1, True)

    def release(self):
        self._button(1, False)

    def click(self, x, y, button=1):
        self.move(x, y)
        self._button(button, True)
        self._button(button, False)

    def click_centre(self, rect):
        x, y, w, h = rect
        self.click(x + w // 2, y + h // 2)

    def path(self, points, press=False, release=False):
        for number, (x, y) in enumerate(points):
            self.move(x, y)
            if press and number == 0:
                self._button(1, True)
        if release:
            self.release()

    def key(self, name):
        """A key or a chord as xdotool names them: "Return", "ctrl+a"."""
        codes = []
        for part in name.split("+"):
            if part not in KEYS:
                raise ScenarioError("no key code for %r" % part)
            codes.append(KEYS[part])
        for code in codes:
            self._event(self.KEYBOARD_KEY, struct.pack("<II", code, 1))
        for code in reversed(codes):
            self._event(self.KEYBOARD_KEY, struct.pack("<II", code, 0))

    def type(self, text):
        for character in text:
            self.key({" ": "space", "-": "minus", ".": "period"}.get(character, character))


def kwin_program(workdir, env):
    """kwin_wayland and its --help, from a copy of the program where the file's capability
    (cap_sys_resource, only to raise its open-file limit) cannot be had: exec then fails with
    EPERM for every user, root too."""
    program = shutil.which("kwin_wayland")
    if program is None:
        raise ScenarioError("kwin_wayland is missing (Debian package kwin-wayland)")
    for attempt in (program, os.path.join(workdir, "bin", "kwin_wayland")):
        if attempt != program:
            os.makedirs(os.path.dirname(attempt), exist_ok=True)
            shutil.copy(program, attempt)  # without the extended attribute of the capability
        try:
            return attempt, subprocess.run(
                [attempt, "--help"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                stdin=subprocess.DEVNULL, timeout=30, env=env
            ).stdout.decode(errors="replace")
        except PermissionError:
            continue
    raise ScenarioError("kwin_wayland cannot be run, nor a copy of it")


class KWin:
    """KWin on a session bus of its own, for the user running this; its output is a window on its
    own Xvfb, whose pixels are the screenshots. Its clients get client_variables as well."""

    platform = "wayland"

    def __init__(self, client_variables=None):
        self.client_variables = client_variables or {}
        self.xvfb, self.bus = Xvfb(), SessionBus()
        self.process = None
        self._scripts = 0
        self._placed = {}

    def start(self, env, workdir):
        """Starts Xvfb, the bus and KWin; returns the variables of KWin's clients."""
        self.workdir = workdir
        home = os.path.join(workdir, "home")  # KWin's and Qt's settings and caches, new each time
        os.makedirs(home, exist_ok=True)
        # Mesa takes its cache folder from XDG_CACHE_HOME, else from the account, not from HOME.
        self.env = {k: v for k, v in env.items() if k != "QT_QPA_PLATFORM"}
        self.env.update(HOME=home, XDG_CACHE_HOME=os.path.join(home, ".cache"))
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.bus.start(self.env)
        display = self.xvfb.start(self.env, workdir)["DISPLAY"]
        self.log_path = os.path.join(workdir, "kwin.log")
        program, options = kwin_program(workdir, self.env)
        # Off where the version has them: no lock screen, shortcuts or activities to start.
        extra = [o for o in ("--no-lockscreen", "--no-global-shortcuts", "--no-kactivities")
                 if o in options]
        kwin_env = dict(self.env, DISPLAY=display, KWIN_WAYLAND_NO_PERMISSION_CHECKS="1",
                        # console.log of the scripts below comes out on KWin's log
                        QT_LOGGING_RULES="js.debug=true;kwin_scripting.debug=true")
        with open(self.log_path, "wb") as log:
            self.process = subprocess.Popen(
                [program, "--x11-display", display, "--socket", SOCKET,
                 "--width", str(self.xvfb.size[0]), "--height", str(self.xvfb.size[1]), *extra],
                env=kwin_env, stdout=log, stderr=log, stdin=subprocess.DEVNULL,
                start_new_session=True)
        # The socket's file is there a moment before KWin listens on it: connecting is the test.
        socket_path = os.path.join(env["XDG_RUNTIME_DIR"], SOCKET)
        poll(lambda: self._ended_early() or WaylandWire(socket_path).close() or True, 30,
             "KWin's Wayland socket")
        self.env["WAYLAND_DISPLAY"] = SOCKET
        return dict({k: self.env[k] for k in ("HOME", "XDG_CACHE_HOME",
                                              "DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY")},
                    **self.client_variables)

    def _ended_early(self):
        if self.process.poll() is not None:
            raise ScenarioError("KWin ended at start with code %d: %s" % (
                self.process.returncode, self.log()[-2000:]))
        return False

    def log(self):
        with open(self.log_path, "rb") as log:
            return log.read().decode(errors="replace")

    def running(self):
        return self.process is not None and self.process.poll() is None and self.xvfb.running()

    def stop(self):
        end_group(self.process)
        self.xvfb.stop()
        self.bus.stop()

    def capture(self, rect=None):
        """The screen, or the part of it at (x, y, width, height): KWin's output sits at the top
        left of Xvfb's screen, which is as large."""
        return self.xvfb.capture(rect)

    # ---- D-Bus ---------------------------------------------------------------------------------

    def _bus(self):
        from gi.repository import Gio  # noqa: PLC0415 - python3-gi, needed only here
        return Gio.DBusConnection.new_for_address_sync(
            self.env["DBUS_SESSION_BUS_ADDRESS"],
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
            | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)

    def call(self, path, interface, method, args=None, reply=None):
        from gi.repository import Gio, GLib  # noqa: PLC0415
        bus = self._bus()
        try:
            result = bus.call_sync("org.kde.KWin", path, interface, method, args,
                                   GLib.VariantType(reply) if reply else None,
                                   Gio.DBusCallFlags.NONE, 30000, None)
            return result.unpack() if result is not None else None
        finally:
            bus.close_sync(None)

    # ---- windows -------------------------------------------------------------------------------

    def run_script(self, body):
        """Runs JavaScript in KWin; returns what it hands to report(value), as parsed JSON."""
        self._scripts += 1
        token = "tolvane-%d-%d" % (os.getpid(), self._scripts)
        path = os.path.join(self.workdir, "scripts", token + ".js")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as script:
            script.write("function report(value) { console.log(%s + JSON.stringify(value)); }\n"
                         % json.dumps(token + " ") + body)
        self.call("/Scripting", "org.kde.kwin.Scripting", "loadScript",
                  _variant("(ss)", (path, token)), "(i)")
        try:
            self.call("/Scripting", "org.kde.kwin.Scripting", "start")

            def reported():
                for line in self.log().splitlines():
                    at = line.find(token + " ")
                    if at >= 0:
                        return (json.loads(line[at + len(token) + 1:]),)
                if "%s.js" % token in self.log():  # the script's own error
                    raise ScenarioError("KWin script failed: %s" % [
                        line for line in self.log().splitlines() if token in line])
                return None
            return poll(reported, 10, "KWin's script to report")[0]
        finally:
            self.call("/Scripting", "org.kde.kwin.Scripting", "unloadScript",
                      _variant("(s)", (token,)), "(b)")

    def windows(self):
        """Every window KWin manages: caption, pid, transient, active, frame and client
        rectangles (x, y, width, height)."""
        return self.run_script("""
var windows = workspace.windowList ? workspace.windowList() : workspace.clientList();
var rect = function (r) { return [Math.round(r.x), Math.round(r.y), Math.round(r.width),
                                  Math.round(r.height)]; };
report(windows.map(function (w) {
    return {id: String(w.internalId), caption: w.caption, pid: w.pid, transient: w.transient,
            active: w.active,
            popup: w.popupWindow, frame: rect(w.frameGeometry),
            client: rect(w.clientGeometry || w.bufferGeometry)};
}));
""")

    def _with_window(self, window, action):
        """Runs a statement on the window w whose id is given; returns how many were found."""
        return self.run_script("""
var windows = workspace.windowList ? workspace.windowList() : workspace.clientList();
var found = windows.filter(function (w) { return String(w.internalId) == %s; });
found.forEach(function (w) { %s });
report(found.length);
""" % (json.dumps(window), action))

    def find_window(self, title):
        """(id, client rectangle) of the one window captioned exactly title, else None."""
        found = [w for w in self.windows() if w["caption"] == title]
        return (found[0]["id"], tuple(found[0]["client"])) if len(found) == 1 else None

    def raise_window(self, window):
        """Raises the window and gives it the focus, as a click on its title bar does."""
        equal(self._with_window(window, "if (workspace.windowList) { workspace.activeWindow = w; }"
                                        " else { workspace.activeClient = w; }"),
              1, "windows raised")

    def request_close(self, window):
        """Closes the window as its title bar's close button does."""
        equal(self._with_window(window, "w.closeWindow();"), 1, "windows closed")

    def client_origin(self, pid, role, size):
        """Where KWin shows the client area of the process's window of that accessible role and
        size: its main window (a frame) or one transient for it (a message box)."""
        key = (pid, role, size)
        if key in self._placed:
            return self._placed[key]
        transient = role != "frame"

        def shown():
            found = [w for w in self.windows() if w["pid"] == pid
                     and bool(w["transient"]) == transient and tuple(w["client"][2:]) == size]
            return found[0] if len(found) == 1 else None
        # The accessible may be there before KWin shows its window.
        origin = tuple(poll(shown, 10, "KWin to show one %s of process %d of %dx%d" % (
            role, pid, size[0], size[1]))["client"][:2])
        if role == "frame":
            self._placed[key] = origin  # a fixed window that nothing moves
        return origin


def _variant(signature, values):
    from gi.repository import GLib  # noqa: PLC0415
    return GLib.Variant(signature, values)
