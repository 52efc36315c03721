#!/usr/bin/env python3
"""The panel built for Windows, run under Wine on the simulated boards: one table of scenarios.

The panel runs from the unpacked zip (or as the installer installed it) in a Wine prefix whose
COM1 and COM2 lead to the boards' pseudo-terminals (tools/windows/wine.sh), so that it meets the
line through Windows' serial API: CreateFile on \\\\.\\COM1, SetCommState, overlapped
WriteFile, WaitCommEvent and ReadFile. What it sends is read at the boards. Its
windows are read as Windows sees them, by a small Windows program (window_probe.exe): the title,
where the client area is, and which windows are message boxes owned by the panel. Controls are
clicked where src/panel/window_layout.h puts them, with xdotool; keys go to the focused window.

Each scenario starts its own Xvfb, boards and panel on the harness of the end-to-end tests
(tests/harness), and ends them on the way out. The prefix is the one in WINEPREFIX, which
tools/windows/test-under-wine.sh made, or else one made for the run.

    wine_scenarios.py --zip Z --installer I --board B --probe P --modem-lines SO
                      --version V --artifacts DIR [NAME ...]
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zipfile

from pe_image import PeImage, ico_images

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from harness.boards import end_group  # noqa: E402
from harness.checks import ScenarioError, check, equal, figure, poll, run_table  # noqa: E402
from harness.panel import SLIDER, START_UP, Box, Layout, centre  # noqa: E402
from harness.session import Session, Stage  # noqa: E402

PROGRAM = "tolvane.exe"
TITLE = "Tolvane"
TREE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
ICON = os.path.join(TREE, "packaging", "icons", "tolvane.ico")
WINE_SH = os.path.join(TREE, "tools", "windows", "wine.sh")
# Processor time that the panel may take in the 2 s after a lost board's message.
IDLE_SECONDS = 0.5
# How soon after the click on Exit the program must have ended, also after a fast drag.
EXIT_SECONDS = 0.5


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
    """The run's prefix, through the project's Wine (tools/windows/wine.sh), which gives every
    Wine process its environment and names COM1 and COM2 as links in a folder of the prefix's.
    Its server and services keep running between the programs."""

    def __init__(self, workdir, modem_lines):
        self.env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        if not self.env.get("WINEPREFIX"):  # started by hand, not by test-under-wine.sh
            self.env["WINEPREFIX"] = os.path.join(workdir, "prefix")
            self.script("prefix", os.path.join(workdir, "ports"), modem_lines, quiet=False)
        self.drive_c = os.path.join(self.env["WINEPREFIX"], "drive_c")

    def script(self, *args, display=None, quiet=True, timeout=400):
        subprocess.run([WINE_SH, *args], env=dict(self.env, **({"DISPLAY": display} if display
                                                               else {})),
                       stdout=subprocess.DEVNULL if quiet else None, timeout=timeout, check=True)

    def restart(self, display):
        """The server and the services afresh, Wine's desktop on the X display given: it keeps
        the display it started on."""
        self.script("restart", display=display)

    def point_com(self, port, path):
        self.script("com", str(port), path)

    def run(self, *args, env=None, timeout=120):
        return subprocess.run([WINE_SH, "run", *args], env=dict(self.env, **(env or {})),
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=timeout, check=True).stdout.decode(errors="replace")

    def start(self, program, display, log):
        return subprocess.Popen([WINE_SH, "run", program], env=dict(self.env, DISPLAY=display),
                                stdout=log, stderr=log, stdin=subprocess.DEVNULL,
                                start_new_session=True)

    def end(self):
        self.script("end", timeout=90)


class ProbeWindow:
    """The panel's windows as Windows itself lists them (window_probe.exe): where the main
    window's client area is, and which windows are message boxes that the panel owns. The
    controls sit where window_layout.h puts them; no text or value can be read."""

    panel_variables = {}

    def __init__(self, wine, probe):
        self.wine, self.probe = wine, probe
        self.layout = Layout()
        self.display = self.origin = None

    def start(self, env, workdir):
        self.display = env["DISPLAY"]
        return {"DBUS_SESSION_BUS_ADDRESS": "disabled:"}  # no accessibility bus, and none started

    def stop(self):
        pass

    def windows(self):
        """(handle, owner, x, y, width, height) of every shown window titled "Tolvane"."""
        out = self.wine.run(self.probe, TITLE, env={"DISPLAY": self.display})
        return [tuple(int(v) for v in line.split()) for line in out.splitlines()]

    def find(self, panel, timeout):
        """Waits for the one main window, as wide as the layout's client area."""
        width, seen = self.layout.client_size[0], []

        def main_window():
            seen[:] = [w for w in self.windows() if w[1] == 0]
            return len(seen) == 1 and seen[0][4] == width and seen[0]
        try:
            _, _, x, y, _, height = poll(main_window, timeout, "the panel's window")
        except ScenarioError as error:
            raise ScenarioError("%s, %d pixels wide as window_layout.h has it; main windows seen: "
                                "%r" % (error, width, seen)) from None
        # Qt draws its menu bar inside the window's client area, above the layout's origin.
        self.origin = (x, y + height - self.layout.client_size[1])

    def rect(self, name):
        x, y, w, h = self.layout.rect(name)
        return self.origin[0] + x, self.origin[1] + y, w, h

    def client_rect(self):
        return self.origin + self.layout.client_size

    def text(self, name):
        raise ScenarioError("the window probe reads no text (%s)" % name)

    value = text

    def message_boxes(self):
        return [Box(None, handle, (x, y, w, h), True)
                for handle, owner, x, y, w, h in self.windows() if owner != 0]

    def give_keyboard(self, box, input):
        """With no window manager, Wine gives a message box the keyboard once it is clicked."""
        input.click(box.rect[0] + 10, box.rect[1] + 10)


class WinePanel:
    """The panel as a Windows program under Wine, started on the session's display."""

    def __init__(self, wine, program, timeout):
        self.wine, self.program, self.timeout = wine, program, timeout
        self.process = self.pid = None

    def start(self, env, log_path):
        end_processes_named(PROGRAM)  # what a failed scenario may have left
        self.wine.restart(env["DISPLAY"])
        with open(log_path, "wb") as log:
            self.process = self.wine.start(self.program, env["DISPLAY"], log)
        self.pid = poll(lambda: (processes_named(PROGRAM) or [None])[0], self.timeout,
                        "the process " + PROGRAM)

    def running(self):
        return bool(processes_named(PROGRAM))

    def exit_code(self):
        return None  # wine, which started it, may end first

    def wait_for_exit(self, timeout):
        """Waits until the program's process has ended."""
        poll(lambda: not processes_named(PROGRAM), timeout, "the panel to end", interval=0.005)

    def stop(self):
        end_group(self.process)
        end_processes_named(PROGRAM)


class WineStage(Stage):
    """The panel under Wine, read by the window probe, on boards behind COM1 and COM2 of the
    prefix."""

    find_timeout = 60.0

    def __init__(self, wine, probe, program, board, artifacts):
        super().__init__(program, board, artifacts)
        self.wine, self.probe = wine, probe

    def window(self):
        return ProbeWindow(self.wine, self.probe)

    def panel(self, program):
        return WinePanel(self.wine, program, self.find_timeout)

    def name_ports(self, devices):
        for port, path in devices.items():
            self.wine.point_com(port, path)  # a port without a board: a link to nothing
        return {}


class Scenarios:
    def __init__(self, args, wine, unpacked):
        self.args = args
        self.wine = wine
        self.unpacked = unpacked
        self.program = os.path.join(unpacked, PROGRAM)
        self.stage = WineStage(wine, args.probe, self.program, args.board, args.artifacts)

    def session(self, name, **options):
        return Session(self.stage, name, **options)

    def after_start_up(self, board):
        equal(board.wait_for_count(16, timeout=30)[:16], START_UP, "start-up commands")

    def dismiss_messages(self, s, count):
        for _ in range(count):
            s.wait_for_message()
            s.dismiss_message()

    # ---- the table -----------------------------------------------------------------------

    def package(self):
        """The zip holds what runs where it is unpacked; the program is a windowed one with the
        project's version and icon."""
        names = set(os.listdir(self.unpacked))
        for expected in (PROGRAM, "Qt6Core.dll", "Qt6Gui.dll", "Qt6Widgets.dll",
                         "Qt6SerialPort.dll", "libstdc++-6.dll", "libgcc_s_seh-1.dll",
                         "libwinpthread-1.dll", "platforms", "styles", "licenses",
                         "LICENSE.txt"):
            check(expected in names, "%s missing from the zip: %s" % (expected, sorted(names)))
        licences = os.path.join(self.unpacked, "licenses")
        check("LGPL-3.0-only.txt" in os.listdir(os.path.join(licences, "Qt")),
              "Qt's LGPL missing from licenses/Qt")
        equal(sorted(os.listdir(os.path.join(licences, "MinGW"))),
              ["gcc-mingw-w64-x86-64-posix-runtime.txt", "mingw-w64-x86-64-dev.txt"],
              "licences of MinGW's runtime")
        check(os.listdir(os.path.join(self.unpacked, "platforms")) == ["qwindows.dll"],
              "platform plugins: %s" % os.listdir(os.path.join(self.unpacked, "platforms")))
        with open(self.program, "rb") as exe:
            image = exe.read()
        program = PeImage(image)
        equal(program.subsystem, 2, "PE subsystem (2: a window, no console)")
        text = image.decode("utf-16-le", errors="ignore") + image[1:].decode("utf-16-le",
                                                                             errors="ignore")
        for key, value in (("ProductName", "Tolvane"), ("ProductVersion", self.args.version),
                           ("FileVersion", self.args.version)):
            check(re.search(key + r"\x00+" + re.escape(value) + r"\x00", text),
                  "version resource lacks %s %s" % (key, value))
        # The icon's own images, each as an icon resource of the program, listed in one group.
        with open(ICON, "rb") as icon:
            images = ico_images(icon.read())
        groups = program.icon_groups()
        check(images in groups, "no icon of the program holds the images of %s: the program's "
              "icons have %r" % (os.path.basename(ICON),
                                 [[i[:5] + (len(i[5] or b""),) for i in g] for g in groups]))

    def start_up(self):
        with self.session("start_up") as s:
            self.after_start_up(s.boards[1])
            s.assert_no_message(watch=1.0)
            equal(s.boards[1].commands(), START_UP, "commands after start-up")
            # The pointer onto a bare corner of the window, so that no control shows it.
            x, y, w, h = s.window.client_rect()
            s.input.move(x + w - 10, y + h - 60)
            time.sleep(1.0)  # the style fades the hover out
            found = s.display.find_window(TITLE)
            check(found, "no single X window titled %r" % TITLE)
            path = s.save_screenshot(os.path.join(self.args.artifacts, "wine-panel.png"), found[1])
            print("screenshot: %s" % path)

    def slider_move(self):
        with self.session("slider_move") as s:
            self.after_start_up(s.boards[1])
            s.click_slider(2, "down arrow")  # one step, 127 to 128
            equal(s.boards[1].wait_for_count(17)[16:], [(2, 128)], "after the click")

    def playback_one_step(self):
        with self.session("playback_one_step") as s:
            board = s.boards[1]
            self.after_start_up(board)
            s.click("Save Pos")
            time.sleep(0.5)
            plays = []
            for _ in range(2):
                sent = board.count()
                s.click("Playback")
                self.dismiss_messages(s, 8)
                time.sleep(1.5)  # the hold, and nothing after it
                plays.append(board.commands()[sent:])
                s.assert_no_message(watch=0.5)
            figure("tries a channel, first and second playback: %s", [
                [sum(1 for c, _ in play if c == k) for k in range(8)] for play in plays])
            # The first playback in a new Wine prefix also waits for what Wine and Qt do the
            # first time (fonts, the first message box); a try may miss its window then.
            equal(sorted(set(plays[0])), [(k, 127) for k in range(8)], "first playback")
            # One try a channel: the step's eight positions once, and nothing after the hold.
            equal(plays[1], [(k, 127) for k in range(8)], "second playback")

    def com2_from_the_keyboard(self):
        with self.session("com2_from_the_keyboard", boards={1: (), 2: ()}) as s:
            self.after_start_up(s.boards[1])
            for key in ("F10", "Down", "Down", "Return"):
                s.input.key(key)
                time.sleep(0.3)
            s.assert_no_message(watch=0.5)
            s.click_slider(0, "down arrow")
            equal(s.boards[2].wait_for_count(1), [(0, 128)], "COM2 after the click")
            equal(s.boards[1].commands(), START_UP, "COM1 after the move to COM2")

    def board_gone_idle(self):
        with self.session("board_gone_idle") as s:
            self.after_start_up(s.boards[1])
            s.boards[1].stop()  # its pseudo-terminal closes, as a pulled cable
            s.wait_for_message()
            time.sleep(2.0)
            equal(len(s.window.message_boxes()), 1, "message boxes 2 s after the loss")
            s.dismiss_message()
            used = s.processor_time(2.0)
            figure("%.0f ms of processor time in the 2 s after the message (at most %.0f)",
                   1000 * used, 1000 * IDLE_SECONDS)
            check(used < IDLE_SECONDS, "the panel spins after the loss: %.2f s in 2 s" % used)
            s.assert_no_message(watch=0.5)

    def exit_after_fast_drag(self):
        with self.session("exit_after_fast_drag", boards={1: ("--baud", "2400")}) as s:
            self.after_start_up(s.boards[1])
            x, y, w, h = s.window.rect(SLIDER % 0)
            top = y + 20
            s.input.press(x + w // 2, y + h // 2)
            for i in range(40):
                s.input.move(x + w // 2, top + (i % 2) * (h - 40))
            s.input.release()
            # The click timed from when it leaves this process: xdotool's own start took up to
            # 1 s.
            s.input.move(*centre(s.window.rect("Exit")))
            clicked = s.input.click_now()
            s.wait_for_exit()
            took = time.monotonic() - clicked
            figure("Exit after a fast drag at 2400 baud: ended %.0f ms after the click (at most "
                   "%.0f)", 1000 * took, 1000 * EXIT_SECONDS)
            check(took <= EXIT_SECONDS, "Exit took %.2f s" % took)

    def installer(self):
        self.wine.run(os.path.abspath(self.args.installer), "/S", timeout=300)
        folder = os.path.join(self.wine.drive_c, "Program Files", "Tolvane")
        installed = os.path.join(folder, PROGRAM)
        check(os.path.isfile(installed), "not installed: %s" % installed)
        menu = os.path.join(self.wine.drive_c, "ProgramData", "Microsoft", "Windows",
                            "Start Menu", "Programs", "Tolvane")
        check(os.path.isdir(menu) and "Tolvane.lnk" in os.listdir(menu),
              "no Start menu entry in %s" % menu)
        key = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolvane"
        entry = self.wine.run("reg", "query", key)
        check("DisplayName" in entry and "Tolvane" in entry, "installed apps: %r" % entry)
        with self.session("installed", program=installed) as s:
            self.after_start_up(s.boards[1])
            s.click("Exit")
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
    parser.add_argument("--modem-lines", required=True,
                        help="pty_modem_lines.so, built here (for a prefix of the run's own)")
    parser.add_argument("names", nargs="*", default=NAMES,
                        help="the scenarios to run, all by default: " + ", ".join(NAMES))
    args = parser.parse_args()
    unknown = set(args.names) - set(NAMES)
    if unknown:
        parser.error("no such scenario: %s (there are %s)" % (sorted(unknown), NAMES))
    os.makedirs(args.artifacts, exist_ok=True)

    workdir = tempfile.mkdtemp(prefix="tolvane-wine-")
    wine = Wine(workdir, args.modem_lines)
    try:
        with zipfile.ZipFile(args.zip) as archive:
            archive.extractall(workdir)
        unpacked = os.path.join(workdir, os.path.basename(args.zip)[:-len(".zip")])
        scenarios = Scenarios(args, wine, unpacked)
        return run_table("wine scenarios", args.names, lambda name: getattr(scenarios, name)())
    finally:
        wine.end()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
