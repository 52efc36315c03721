#!/usr/bin/env python3
"""The panel built for Windows, run under Wine on the simulated boards: one table of scenarios.

The panel runs from the unpacked zip (or as the installer installed it) in a Wine prefix whose
COM1 and COM2 are links to the boards' pseudo-terminals ($WINEPREFIX/dosdevices/com1), so that
it meets the line through Windows' serial API: CreateFile on \\\\.\\COM1, SetCommState,
overlapped WriteFile, WaitCommEvent and ReadFile. What it sends is read at the boards. Its
windows are read as Windows sees them, by a small Windows program (window_probe.exe): the title,
where the client area is, and which windows are message boxes owned by the panel. Controls are
clicked where the window's layout puts them, with xdotool; keys go to the focused window.

Each scenario starts its own Xvfb, boards and panel (the harness of the end-to-end tests), and
ends them on the way out. The prefix is made once for the run.

    wine_scenarios.py --zip Z --installer I --board B --probe P --modem-lines SO
                      --version V --artifacts DIR [NAME ...]
"""

import argparse
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import traceback
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from panel_harness import E2EError, Input, Session, find_window, poll  # noqa: E402

START_UP = [(k, 127) for k in range(8)] * 2
PROGRAM = "tolvane.exe"
TITLE = "Tolvane"
# The window's layout in twips, 15 to a pixel, from the top-left corner below the menu bar.
CLIENT_SIZE = (6885 // 15, 6570 // 15)


def pixels(left, top, width, height):
    return left // 15, top // 15, width // 15, height // 15


EXIT = pixels(960, 5520, 855, 375)
SAVE_POS = pixels(2160, 5520, 855, 375)
PLAYBACK = pixels(3360, 5520, 855, 375)


def slider(channel):
    return pixels(360 + 840 * channel, 720, 255, 3735)


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def processes_named(name):
    """The processes running now under a name (a Windows program's is its file name), without
    those that have ended and wait to be reaped."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry) as stat:
                fields = stat.read()
        except (OSError, ValueError):
            continue
        command, state = fields[fields.index("(") + 1:fields.rindex(")")], fields.rsplit(")", 1)[1]
        if command == name and state.split()[0] != "Z":
            found.append(int(entry))
    return found


def end_processes_named(name):
    for pid in processes_named(name):
        os.kill(pid, signal.SIGKILL)
    poll(lambda: not processes_named(name), 10, "every %s to end" % name)


class Wine:
    """One prefix for the whole run, its server and services kept running between the programs.

    Two things of Wine's own are set right here, not in the panel. Wine's mount manager points
    COM1 at /dev/ttyS0 whenever its services start, whatever link was put in dosdevices before:
    COM1 and COM2 are named in the registry (HKLM\\Software\\Wine\\Ports) instead, as links in
    a folder of ours that each scenario points at its boards. And Wine's serial wait fails on a
    device without modem lines, as a pseudo-terminal is: pty_modem_lines.so lends them.
    """

    def __init__(self, workdir, modem_lines):
        self.ports = os.path.join(workdir, "ports")
        os.makedirs(self.ports, exist_ok=True)
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith("TOLVANE_COM") and k != "DISPLAY"}
        # No Mono or Gecko: the panel needs neither, and their installers would ask.
        self.env.update({"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=",
                         "LD_PRELOAD": os.path.abspath(modem_lines)})
        self.prefix = self.env.get("WINEPREFIX") or os.path.join(workdir, "prefix")
        self.env["WINEPREFIX"] = self.prefix
        self.drive_c = os.path.join(self.prefix, "drive_c")
        started = time.monotonic()
        self.restart()
        for port in (1, 2):
            self.run("reg", "add", r"HKLM\Software\Wine\Ports", "/v", "COM%d" % port, "/d",
                     self.link(port), "/f")
        # The mount manager reads the names when the services start: they start again, with
        # no terminal of ours to hold open.
        self.restart()
        for port in (1, 2):
            device = os.readlink(os.path.join(self.prefix, "dosdevices", "com%d" % port))
            if device != self.link(port):
                raise E2EError("COM%d of the prefix is %s, not %s" % (port, device,
                                                                     self.link(port)))
        print("wine: COM1 and COM2 set in %.1f s" % (time.monotonic() - started))

    def link(self, port):
        return os.path.join(self.ports, "COM%d" % port)

    def restart(self, display=None):
        """Starts the server and the services afresh, with no output of ours (they outlive the
        program that starts them and would hold its output open), and Wine's desktop on the X
        display given: it keeps the display it started on."""
        env = dict(self.env, **({"DISPLAY": display} if display else {}))
        quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL, "timeout": 120}
        subprocess.run(["wineserver", "-k"], env=env, **quiet)
        subprocess.run(["wineserver", "-p"], env=env, check=True, **quiet)
        subprocess.run(["wineboot"], env=env, check=True, **quiet)

    def point_com(self, port, path):
        link = self.link(port)
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(path, link)

    def run(self, *args, env=None, timeout=120):
        return subprocess.run(["wine", *args], env=dict(self.env, **(env or {})),
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=timeout, check=True).stdout.decode(errors="replace")

    def end(self):
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=60)


class WineSession(Session):
    """The panel under Wine, on boards behind COM1 and COM2 of the prefix."""

    find_timeout = 60.0

    def __init__(self, scenarios, name, boards=None, program=None):
        super().__init__(program or scenarios.program, scenarios.board, scenarios.artifacts,
                         name, boards)
        self.wine = scenarios.wine
        self.probe = scenarios.probe
        self.origin = None

    def panel_devices(self):
        return {}

    def _start_bus(self, env):
        return "disabled:"  # the panel under Wine has no accessibility bus to offer

    def start_panel(self):
        end_processes_named(PROGRAM)  # what a failed scenario may have left
        self.wine.restart(self.env["DISPLAY"])
        for port, path in self.device_paths.items():
            self.wine.point_com(port, path)  # a port without a board: a link to nothing
        env = dict(self.wine.env, DISPLAY=self.env["DISPLAY"], LANG="C.UTF-8")
        self.panel_log = os.path.join(self.workdir, "panel.log")
        with open(self.panel_log, "wb") as log:
            self.panel = subprocess.Popen(["wine", self.panel_program], env=env, stdout=log,
                                          stderr=log, stdin=subprocess.DEVNULL,
                                          start_new_session=True)
        self.input = Input(self.env)
        self.origin = poll(self._main_window, self.find_timeout, "the panel's window")
        self.pid = poll(lambda: (processes_named(PROGRAM) or [None])[0], 10,
                        "the process " + PROGRAM)

    def windows(self):
        """(handle, owner, x, y, width, height) of every shown window titled "Tolvane"."""
        out = self.wine.run(self.probe, TITLE, env={"DISPLAY": self.env["DISPLAY"]})
        return [tuple(int(v) for v in line.split()) for line in out.splitlines()]

    def _main_window(self):
        mains = [w for w in self.windows() if w[1] == 0]
        if len(mains) != 1 or mains[0][4] != CLIENT_SIZE[0]:
            return None
        _, _, x, y, _, height = mains[0]
        # Qt draws its menu bar inside the window's client area, above the layout's origin.
        return x, y + height - CLIENT_SIZE[1]

    def message_boxes(self):
        return [w for w in self.windows() if w[1] != 0]

    def click_at(self, rect, dy=None):
        x, y, w, h = rect
        self.input.click(self.origin[0] + x + w // 2,
                         self.origin[1] + y + (h // 2 if dy is None else dy % h))

    def wait_for_message(self, timeout=15.0):
        boxes = poll(lambda: self.message_boxes() or None, timeout, "a message box")
        if len(boxes) != 1:
            raise E2EError("%d message boxes at once" % len(boxes))
        return boxes[0]

    def dismiss_message(self, timeout=15.0):
        """Closes the one message box with Return, once a click on its text has made it the
        active window: with no window manager, Wine gives it the keyboard only then."""
        handle, _, x, y, _, _ = self.wait_for_message()
        self.input.click(x + 10, y + 10)
        self.input.key("Return")
        poll(lambda: all(box[0] != handle for box in self.message_boxes()), timeout,
             "the message box to close")

    def assert_no_message(self, watch=1.0):
        deadline = time.monotonic() + watch
        while time.monotonic() < deadline:
            if self.message_boxes():
                raise E2EError("unexpected message box")
            time.sleep(0.1)

    def wait_for_exit(self, timeout=15.0):
        """Waits until the panel's process has ended (wine, which started it, may end first)."""
        self._exit_expected = True
        poll(lambda: not processes_named(PROGRAM), timeout, "the panel to end")

    def _stop(self, failed):
        super()._stop(failed)
        end_processes_named(PROGRAM)


class Scenarios:
    def __init__(self, args, wine, unpacked):
        self.args = args
        self.wine = wine
        self.board = args.board
        self.probe = args.probe
        self.artifacts = args.artifacts
        self.program = os.path.join(unpacked, "tolvane.exe")
        self.unpacked = unpacked

    def equal(self, got, expected, what):
        if got != expected:
            raise E2EError("%s: got %r, expected %r" % (what, got, expected))

    def check(self, condition, what):
        if not condition:
            raise E2EError(what)

    def session(self, name, **options):
        return WineSession(self, name, **options)

    def after_start_up(self, board):
        self.equal(board.wait_for_count(16, timeout=30)[:16], START_UP, "start-up commands")

    # ---- the table -----------------------------------------------------------------------

    def package(self):
        """The zip holds what runs where it is unpacked; the program is a windowed one with the
        project's version and icon."""
        names = set(os.listdir(self.unpacked))
        for expected in ("tolvane.exe", "Qt6Core.dll", "Qt6Gui.dll", "Qt6Widgets.dll",
                         "Qt6SerialPort.dll", "libstdc++-6.dll", "libgcc_s_seh-1.dll",
                         "libwinpthread-1.dll", "platforms", "styles", "licenses",
                         "LICENSE.txt"):
            self.check(expected in names, "%s missing from the zip: %s" % (expected, sorted(names)))
        licences = os.path.join(self.unpacked, "licenses")
        self.check("LGPL-3.0-only.txt" in os.listdir(os.path.join(licences, "Qt")),
                   "Qt's LGPL missing from licenses/Qt")
        self.equal(sorted(os.listdir(os.path.join(licences, "MinGW"))),
                   ["gcc-mingw-w64-x86-64-posix-runtime.txt", "mingw-w64-x86-64-dev.txt"],
                   "licences of MinGW's runtime")
        self.check(os.listdir(os.path.join(self.unpacked, "platforms")) == ["qwindows.dll"],
                   "platform plugins: %s" % os.listdir(os.path.join(self.unpacked, "platforms")))
        with open(self.program, "rb") as exe:
            image = exe.read()
        pe = struct.unpack_from("<I", image, 0x3C)[0]
        subsystem = struct.unpack_from("<H", image, pe + 24 + 68)[0]
        self.equal(subsystem, 2, "PE subsystem (2: a window, no console)")
        text = image.decode("utf-16-le", errors="ignore") + image[1:].decode("utf-16-le",
                                                                             errors="ignore")
        for key, value in (("ProductName", "Tolvane"), ("ProductVersion", self.args.version),
                           ("FileVersion", self.args.version)):
            self.check(re.search(key + r"\x00+" + re.escape(value) + r"\x00", text),
                       "version resource lacks %s %s" % (key, value))
        self.check(b"\x00\x00\x01\x00" in image, "no icon directory in the program")

    def start_up(self):
        with self.session("start_up") as s:
            self.after_start_up(s.boards[1])
            s.assert_no_message(watch=1.0)
            self.equal(s.boards[1].commands(), START_UP, "commands after start-up")
            # The pointer onto a bare corner of the window, so that no control shows it.
            s.input.move(s.origin[0] + CLIENT_SIZE[0] - 10, s.origin[1] + CLIENT_SIZE[1] - 60)
            time.sleep(1.0)  # the style fades the hover out
            found = find_window(s.env, TITLE)
            self.check(found, "no single X window titled %r" % TITLE)
            path = os.path.join(self.artifacts, "wine-panel.png")
            s.save_screenshot(path, found[1])
            print("screenshot: %s" % path)

    def slider_move(self):
        with self.session("slider_move") as s:
            self.after_start_up(s.boards[1])
            s.click_at(slider(2), dy=-5)  # the down arrow: one step, 127 to 128
            self.equal(s.boards[1].wait_for_count(17)[16:], [(2, 128)], "after the click")

    def playback_one_step(self):
        with self.session("playback_one_step") as s:
            board = s.boards[1]
            self.after_start_up(board)
            s.click_at(SAVE_POS)
            time.sleep(0.5)
            plays = []
            for _ in range(2):
                sent = board.count()
                s.click_at(PLAYBACK)
                for _ in range(8):
                    s.dismiss_message()
                time.sleep(1.5)  # the hold, and nothing after it
                plays.append(board.commands()[sent:])
                s.assert_no_message(watch=0.5)
            print("playback_one_step: tries a channel, first and second playback: %s" % [
                [sum(1 for c, _ in play if c == k) for k in range(8)] for play in plays])
            # The first playback in a new Wine prefix also waits for what Wine and Qt do the
            # first time (fonts, the first message box); a try may miss its window then.
            self.equal(sorted(set(plays[0])), [(k, 127) for k in range(8)], "first playback")
            # One try a channel: the step's eight positions once, and nothing after the hold.
            self.equal(plays[1], [(k, 127) for k in range(8)], "second playback")

    def com2_from_the_keyboard(self):
        with self.session("com2_from_the_keyboard", boards={1: (), 2: ()}) as s:
            self.after_start_up(s.boards[1])
            for key in ("F10", "Down", "Down", "Return"):
                s.input.key(key)
                time.sleep(0.3)
            s.assert_no_message(watch=0.5)
            s.click_at(slider(0), dy=-5)
            self.equal(s.boards[2].wait_for_count(1), [(0, 128)], "COM2 after the click")
            self.equal(s.boards[1].commands(), START_UP, "COM1 after the move to COM2")

    def board_gone_idle(self):
        with self.session("board_gone_idle") as s:
            self.after_start_up(s.boards[1])
            s.boards[1].stop()  # its pseudo-terminal closes, as a pulled cable
            s.wait_for_message()
            time.sleep(2.0)
            self.equal(len(s.message_boxes()), 1, "message boxes 2 s after the loss")
            s.dismiss_message()
            before = cpu_seconds(s.pid)
            time.sleep(2.0)
            used = cpu_seconds(s.pid) - before
            print("board_gone_idle: %.2f s of processor time in the 2 s after the message" % used)
            self.check(used < 0.5, "the panel spins after the loss: %.2f s in 2 s" % used)
            s.assert_no_message(watch=0.5)

    def exit_after_fast_drag(self):
        with self.session("exit_after_fast_drag", boards={1: ("--baud", "2400")}) as s:
            self.after_start_up(s.boards[1])
            x, y, w, h = slider(0)
            top = s.origin[1] + y + 20
            s.input.press(s.origin[0] + x + w // 2, s.origin[1] + y + h // 2)
            for i in range(40):
                s.input.move(s.origin[0] + x + w // 2, top + (i % 2) * (h - 40))
            s.input.release()
            clicked = time.monotonic()
            s.click_at(EXIT)
            s.wait_for_exit()
            took = time.monotonic() - clicked
            print("exit_after_fast_drag: ended %.0f ms after the click (target 500 ms)" % (
                took * 1000))
            self.check(took < 5.0, "Exit took %.1f s" % took)

    def installer(self):
        self.wine.run(os.path.abspath(self.args.installer), "/S", timeout=300)
        folder = os.path.join(self.wine.drive_c, "Program Files", "Tolvane")
        installed = os.path.join(folder, "tolvane.exe")
        self.check(os.path.isfile(installed), "not installed: %s" % installed)
        menu = os.path.join(self.wine.drive_c, "ProgramData", "Microsoft", "Windows",
                            "Start Menu", "Programs", "Tolvane")
        self.check(os.path.isdir(menu) and "Tolvane.lnk" in os.listdir(menu),
                   "no Start menu entry in %s" % menu)
        key = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolvane"
        entry = self.wine.run("reg", "query", key)
        self.check("DisplayName" in entry and "Tolvane" in entry, "installed apps: %r" % entry)
        with self.session("installed", program=installed) as s:
            self.after_start_up(s.boards[1])
            s.click_at(EXIT)
            s.wait_for_exit()
        self.wine.run(os.path.join(folder, "Uninstall.exe"), "/S", timeout=120)
        poll(lambda: not os.path.exists(installed), 60, "the uninstaller to remove the panel")


NAMES = ["package", "start_up", "slider_move", "playback_one_step", "com2_from_the_keyboard",
         "board_gone_idle", "exit_after_fast_drag", "installer"]


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--zip", required=True)
    parser.add_argument("--installer", required=True)
    parser.add_argument("--board", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--artifacts", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--modem-lines", required=True, help="pty_modem_lines.so, built here")
    parser.add_argument("names", nargs="*", default=NAMES,
                        help="the scenarios to run, all by default: " + ", ".join(NAMES))
    args = parser.parse_args()
    unknown = set(args.names) - set(NAMES)
    if unknown:
        parser.error("no such scenario: %s (there are %s)" % (sorted(unknown), NAMES))
    os.makedirs(args.artifacts, exist_ok=True)

    workdir = tempfile.mkdtemp(prefix="tolvane-wine-")
    wine = Wine(workdir, args.modem_lines)
    passed, failed = [], []
    try:
        with zipfile.ZipFile(args.zip) as archive:
            archive.extractall(workdir)
        unpacked = os.path.join(workdir, os.path.basename(args.zip)[:-len(".zip")])
        scenarios = Scenarios(args, wine, unpacked)
        for name in args.names:
            started = time.monotonic()
            try:
                getattr(scenarios, name)()
                passed.append(name)
                print("PASSED %s (%.1f s)" % (name, time.monotonic() - started), flush=True)
            except Exception:  # noqa: BLE001 - every scenario runs and reports
                traceback.print_exc()
                failed.append(name)
                print("FAILED %s (%.1f s)" % (name, time.monotonic() - started), flush=True)
    finally:
        wine.end()
        shutil.rmtree(workdir, ignore_errors=True)
    print("wine scenarios: %d passed, %d failed" % (len(passed), len(failed)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
