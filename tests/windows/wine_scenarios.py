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
tools/windows/test-under-wine.sh made, or else one made for the run; each row of the table of
Windows set-ups (LOOKS) runs in a new prefix of its own, copied from one made for the run. The
screen is read from Xvfb's frame buffer.

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
from harness.boards import Board, end_group  # noqa: E402
from harness.checks import ScenarioError, check, equal, figure, poll, run_table  # noqa: E402
from harness.panel import SLIDER, START_UP, Box, Layout, centre  # noqa: E402
from harness.session import Session, Stage  # noqa: E402
from harness.x11 import Xvfb  # noqa: E402

PROGRAM = "tolvane.exe"
TITLE = "Tolvane"
TREE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
ICON = os.path.join(TREE, "packaging", "icons", "tolvane.ico")
WINE_SH = os.path.join(TREE, "tools", "windows", "wine.sh")
# Processor time that the panel may take in the 2 s after a lost board's message.
IDLE_SECONDS = 0.5
# How soon after the click on Exit the program must have ended, also after a fast drag.
EXIT_SECONDS = 0.5
# A pixel stands out from a picture's commonest colour when |dR| + |dG| + |dB| is over this.
STAND_OUT = 60
# The share of a slider's pixels that must stand out: its arrows and thumb are drawn. The
# windows11 style's hairline scores 0.4%, the classic scroll bar 2.9% (at 200%) to 5.3%.
SLIDER_DRAWN = 0.02
# The Windows set-ups of the table, each in a prefix of its own: the Windows version as Wine
# reports it, light or dark apps, the scale in per cent (LogPixels = 96 x scale).
LOOKS = {
    "windows_10": ("10", "light", 100),
    "windows_10_150": ("10", "light", 150),
    "windows_11": ("11", "light", 100),
    "windows_11_200": ("11", "light", 200),
    "windows_11_dark": ("11", "dark", 100),
}
# Scenarios that a row of the table does in full, kept as names for it.
FOLDED = {"start_up": "windows_10", "slider_move": "windows_10", "playback_one_step": "windows_10"}


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


def standing_out(image):
    """The share of the image's pixels that stand out from its commonest colour, and that colour."""
    pixels = image.pixels()
    common = image.colours().most_common(1)[0][0]
    out = sum(1 for p in pixels if sum(abs(a - b) for a, b in zip(p, common)) > STAND_OUT)
    return out / len(pixels), common


def box_figures(box, beneath):
    """A message box's client area as the screen shows it: the shares of pixels that are black,
    that stand out from its commonest colour, and that are as the panel beneath it was before it
    came (a box that is not drawn lets the panel show through)."""
    pixels = box.pixels()
    black = sum(1 for p in pixels if p == (0, 0, 0)) / len(pixels)
    out, common = standing_out(box)
    same = sum(1 for p, q in zip(pixels, beneath.pixels()) if p == q) / len(pixels)
    return black, out, same, common


class Wine:
    """The run's prefix, through the project's Wine (tools/windows/wine.sh), which gives every
    Wine process its environment and names COM1 and COM2 as links in a folder of the prefix's.
    Its server and services keep running between the programs."""

    def __init__(self, prefix):
        self.env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        self.env["WINEPREFIX"] = self.prefix = prefix
        self.drive_c = os.path.join(prefix, "drive_c")

    @classmethod
    def made(cls, prefix, ports, modem_lines):
        """A new prefix, COM1 and COM2 named in the folder ports."""
        wine = cls(prefix)
        wine.script("prefix", ports, modem_lines, quiet=False)
        return wine

    def copy(self, prefix):
        """A copy of this prefix, as new as this one (a copy takes 1-3 s, a new one 8 s)."""
        self.end()
        subprocess.run(["cp", "-a", self.prefix, prefix], check=True, timeout=120)
        return Wine(prefix)

    def look(self, windows, theme, scale):
        """Windows 10 or 11, light or dark apps, the scale in per cent (tools/windows/wine.sh)."""
        self.script("look", windows, theme, str(scale))

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

    def __init__(self, wine, probe, scale=100):
        self.wine, self.probe, self.scale = wine, probe, scale
        self.layout = Layout()
        self.display = self.origin = None

    def scaled(self, values):
        """Pixels at 96 dpi as the window has them at its scale: Qt lays it out whole."""
        return tuple(int(value * self.scale / 100 + 0.5) for value in values)

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
        """Waits for the one main window, as wide as the layout's client area at the scale."""
        width, height = self.scaled(self.layout.client_size)
        seen = []

        def main_window():
            seen[:] = [w for w in self.windows() if w[1] == 0]
            return len(seen) == 1 and abs(seen[0][4] - width) <= 1 and seen[0]
        try:
            _, _, x, y, _, _ = poll(main_window, timeout, "the panel's window")
        except ScenarioError as error:
            raise ScenarioError("%s, %d pixels wide as window_layout.h has it at %d%%; main "
                                "windows seen: %r" % (error, width, self.scale, seen)) from None
        # Qt draws its menu bar inside the window's client area, above the layout's origin.
        self.origin = (x, y + seen[0][5] - height)

    def rect(self, name):
        x, y, w, h = self.scaled(self.layout.rect(name))
        return self.origin[0] + x, self.origin[1] + y, w, h

    def client_rect(self):
        return self.origin + self.scaled(self.layout.client_size)

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

    def holds_open(self, device):
        """True while the program, or Wine's server for it, holds the device open."""
        for pid in processes_named(PROGRAM) + processes_named("wineserver"):
            folder = "/proc/%d/fd" % pid
            try:
                if any(os.path.realpath(os.path.join(folder, fd)) == device
                       for fd in os.listdir(folder)):
                    return True
            except OSError:
                continue
        return False

    def exit_code(self):
        return None  # wine, which started it, may end first

    def wait_for_exit(self, timeout):
        """Waits until the program's process has ended."""
        poll(lambda: not processes_named(PROGRAM), timeout, "the panel to end", interval=0.005)

    def stop(self):
        end_group(self.process)
        end_processes_named(PROGRAM)


class FrameBufferXvfb(Xvfb):
    """Read from its frame buffer: Wine's message boxes are drawn, but xwd's GetImage of the root
    returns them black. Large enough for the window at 200%."""

    size = (1600, 1200)
    frame_buffer = True


class WineStage(Stage):
    """The panel under Wine, read by the window probe, on boards behind COM1 and COM2 of the
    prefix."""

    find_timeout = 60.0

    def __init__(self, wine, probe, program, board, artifacts, scale=100):
        super().__init__(program, board, artifacts)
        self.wine, self.probe, self.scale = wine, probe, scale

    def display(self):
        return FrameBufferXvfb()

    def window(self, display):
        return ProbeWindow(self.wine, self.probe, self.scale)

    def panel(self, program):
        return WinePanel(self.wine, program, self.find_timeout)

    def name_ports(self, devices):
        for port, path in devices.items():
            self.wine.point_com(port, path)  # a port without a board: a link to nothing
        return {}


class Scenarios:
    def __init__(self, args, wine, unpacked, workdir):
        self.args = args
        self.wine = wine
        self.unpacked = unpacked
        self.workdir = workdir
        self.program = os.path.join(unpacked, PROGRAM)
        self.stage = WineStage(wine, args.probe, self.program, args.board, args.artifacts)
        self.new_prefix = None

    def session(self, name, **options):
        return Session(self.stage, name, **options)

    def after_start_up(self, board):
        equal(board.wait_for_count(16, timeout=30)[:16], START_UP, "start-up commands")

    def reopen_com1(self, s):
        """Com Port, Com1 with the keys: COM1 closed and opened anew, nothing waiting on it."""
        for key in ("F10", "Down", "Return"):
            s.input.key(key)
            time.sleep(0.3)

    # ---- the table of Windows set-ups ------------------------------------------------------

    def look(self, name):
        """One Windows set-up, in a new prefix of its own: the start-up bytes, a screenshot,
        every slider drawn, one step from an up arrow, the first playback one try a channel with
        every try-count box drawn, and Exit."""
        windows, theme, scale = LOOKS[name]
        began = time.monotonic()
        if self.new_prefix is None:  # made once, copied for every row
            self.new_prefix = Wine.made(os.path.join(self.workdir, "new-prefix"),
                                        os.path.join(self.workdir, "new-ports"),
                                        self.args.modem_lines)
        wine = self.new_prefix.copy(os.path.join(self.workdir, name))
        try:
            wine.look(windows, theme, scale)
            figure("%s: prefix copied and set in %.1f s", name, time.monotonic() - began)
            stage = WineStage(wine, self.args.probe, self.program, self.args.board,
                              self.args.artifacts, scale)
            with Session(stage, name) as s:
                self.look_row(s, name)
        finally:
            wine.end()
            shutil.rmtree(wine.prefix, ignore_errors=True)

    def look_row(self, s, name):
        board = s.boards[1]
        self.after_start_up(board)
        # The pointer off the window (the frame buffer shows it), so that no control shows it;
        # the style fades the hover out meanwhile.
        x, y, w, h = s.window.client_rect()
        s.input.move(x + w + 40, y + h + 40)
        s.assert_no_message(watch=1.0)
        equal(board.commands(), START_UP, "commands after start-up")
        found = s.display.find_window(TITLE)
        check(found, "no single X window titled %r" % TITLE)
        print("%s: screenshot %s" % (name, s.save_screenshot(
            os.path.join(self.args.artifacts, name + ".png"), found[1])))

        scores = []
        for control in [SLIDER % k for k in range(8)] + ["Playback speed"]:
            share, common = standing_out(s.display.capture(s.window.rect(control)))
            scores.append(share)
        figure("%s: sliders standing out, channels 0-7 %s, delay %.1f%% (commonest colour of "
               "the last: %s)", name, " ".join("%.1f%%" % (100 * v) for v in scores[:8]),
               100 * scores[8], common)
        low = [k for k, share in enumerate(scores) if share < SLIDER_DRAWN]
        check(not low, "%s: sliders %s drawn as hairlines (under %.0f%% of their pixels stand "
              "out)" % (name, low, 100 * SLIDER_DRAWN))

        s.click_slider(3, "up arrow")
        board.wait_for_count(17)
        time.sleep(0.5)  # a second step would have come by now
        equal(board.commands()[16:], [(3, 126)], "%s: one click on channel 3's up arrow" % name)

        self.reopen_com1(s)
        s.click("Save Pos")
        time.sleep(0.5)
        beneath = s.display.capture(s.window.client_rect())
        sent = board.count()
        s.click("Playback")
        drawn = []
        for _ in range(8):
            s.wait_for_message()
            box = s.window.message_boxes()[0]
            shown = time.monotonic()
            bx, by, bw, bh = box.rect
            under = beneath.crop((bx - s.window.origin[0], by - s.window.origin[1], bw, bh))
            seen = []

            def is_drawn():
                seen[:] = box_figures(s.display.capture(box.rect), under)
                black, out, same, common = seen
                return black < 0.5 and out > 0.01 and same < 0.5 and sum(common) > 3 * 60

            try:
                poll(is_drawn, 5.0, "the try-count box to be drawn")
            except ScenarioError as error:
                raise ScenarioError("%s: %s; black %.0f%%, standing out %.1f%%, as beneath "
                                    "%.0f%%, commonest %s" % (name, error, 100 * seen[0],
                                                              100 * seen[1], 100 * seen[2],
                                                              seen[3])) from None
            drawn.append((time.monotonic() - shown,) + tuple(seen))
            s.dismiss_message()
        time.sleep(1.5)  # the hold, and nothing after it
        figure("%s: try-count boxes drawn after %s s; black %s%%, standing out %s%%, as the panel "
               "beneath %s%%", name, " ".join("%.2f" % d[0] for d in drawn),
               "/".join("%.0f" % (100 * d[1]) for d in drawn),
               "/".join("%.1f" % (100 * d[2]) for d in drawn),
               "/".join("%.0f" % (100 * d[3]) for d in drawn))
        played = board.commands()[sent:]
        figure("%s: first playback, %d commands: %s", name, len(played), played)
        # One try a channel: the step's eight positions once each, in a new prefix.
        equal(played, [(k, 126 if k == 3 else 127) for k in range(8)],
              "%s: the first playback" % name)
        s.assert_no_message(watch=0.5)
        s.click("Exit")
        s.wait_for_exit()

    # ---- the other scenarios ---------------------------------------------------------------

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

    def lost(self, s, board, boxes):
        """After the board is gone: the boxes given, one after the other, then none; the port
        closed, and the panel idle."""
        lost = time.monotonic()
        seen = []
        for _ in range(boxes):
            s.wait_for_message()
            seen.append(time.monotonic() - lost)
            s.dismiss_message()
        figure("%s: message boxes %s s after the loss", s.name,
               " and ".join("%.2f" % t for t in seen))
        s.assert_no_message(watch=1.0)
        check(not s.holds_open(board.device), "the lost device %s is still open" % board.device)
        used = s.processor_time(2.0)
        figure("%s: %.0f ms of processor time in the 2 s after the message (at most %.0f)",
               s.name, 1000 * used, 1000 * IDLE_SECONDS)
        check(used < IDLE_SECONDS, "the panel spins after the loss: %.2f s in 2 s" % used)

    def board_gone_idle(self):
        with self.session("board_gone_idle") as s:
            board = s.boards[1]
            self.after_start_up(board)
            check(s.holds_open(board.device), "the panel does not hold %s" % board.device)
            board.stop()  # its pseudo-terminal closes, as a pulled cable
            self.lost(s, board, 1)

    def board_gone_in_drag(self):
        with self.session("board_gone_in_drag", boards={1: ("--baud", "2400")}) as s:
            board = s.boards[1]
            self.after_start_up(board)
            x, y, w, h = s.window.rect(SLIDER % 2)
            x, y = x + w // 2, y + h // 2
            s.input.path([(x, y + k) for k in range(0, 40)], press=True)
            # One command at least, and the button still held: the middle of a drag.
            board.wait_for_count(17)
            check(s.holds_open(board.device), "the panel does not hold %s" % board.device)
            board.stop()
            s.input.path([(x, y + k) for k in range(40, 80)], release=True)
            self.lost(s, board, 1)

    def board_gone_in_handshake(self):
        with self.session("board_gone_in_handshake", boards={1: ("--no-reply",)}) as s:
            board = s.boards[1]
            self.after_start_up(board)
            s.click("Save Pos")
            time.sleep(0.5)
            s.click("Playback")
            board.wait_for_count(16 + 3)  # channel 0's third try, unanswered
            check(s.holds_open(board.device), "the panel does not hold %s" % board.device)
            board.stop()
            # The loss, then the playback's own "Communications problem encountered", as the
            # kernel lab reads them on Linux; the window probe reads no text.
            self.lost(s, board, 2)

    def board_back_on_com1(self):
        """A board lost and back behind the same COM name, as an adapter unplugged and plugged
        in again: taken up when COM1 comes back into the system's list of ports, with no
        message, and nothing sent until a move. COM1 is named for the panel (TOLVANE_COM1 in
        the user's environment, as the README says): the system's own COM1 is not waited for."""
        environment, ports = r"HKCU\Environment", r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM"
        listed = [line.split() for line in self.wine.run("reg", "query", ports).splitlines()]
        com1 = [fields[0] for fields in listed if fields[1:] == ["REG_SZ", "COM1"]]
        equal(len(com1), 1, "COM1 in the list of ports %r" % listed)
        self.wine.run("reg", "add", environment, "/v", "TOLVANE_COM1", "/d", "COM1", "/f")
        try:
            with self.session("board_back_on_com1") as s:
                board = s.boards[1]
                self.after_start_up(board)
                check(s.holds_open(board.device), "the panel does not hold %s" % board.device)
                self.wine.run("reg", "delete", ports, "/v", com1[0], "/f")  # unplugged
                board.stop()
                self.lost(s, board, 1)
                s.boards[1] = board = Board(self.stage.board_program, s.device_paths[1],
                                            s.workdir, (), dict(s.env, QT_QPA_PLATFORM="xcb"))
                time.sleep(2.0)  # two looks at the list, which has not changed
                check(not s.holds_open(board.device), "taken up with COM1 not listed")
                self.wine.run("reg", "add", ports, "/v", com1[0], "/d", "COM1", "/f")  # back
                back = time.monotonic()
                poll(lambda: s.holds_open(board.device), 5.0, "the board to be taken up")
                figure("board_back_on_com1: taken up %.2f s after COM1 was listed again",
                       time.monotonic() - back)
                s.assert_no_message(watch=1.0)
                s.click_slider(6, "up arrow")
                board.wait_for_count(1)
                time.sleep(0.5)  # anything more would have come by now
                equal(board.commands(), [(6, 126)], "at the board behind COM1 again")
        finally:
            self.wine.run("reg", "delete", environment, "/v", "TOLVANE_COM1", "/f")

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


NAMES = ["package", *LOOKS, "com2_from_the_keyboard", "board_gone_idle", "board_gone_in_drag",
         "board_gone_in_handshake", "board_back_on_com1", "exit_after_fast_drag", "installer"]


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
                        help="the scenarios to run, all by default: %s; the rows of Windows "
                        "set-ups are %s, and %s run the row windows_10" % (
                            ", ".join(NAMES), ", ".join(LOOKS), ", ".join(FOLDED)))
    args = parser.parse_args()
    unknown = set(args.names) - set(NAMES) - set(FOLDED)
    if unknown:
        parser.error("no such scenario: %s (there are %s)" % (sorted(unknown), NAMES))
    os.makedirs(args.artifacts, exist_ok=True)

    workdir = tempfile.mkdtemp(prefix="tolvane-wine-")
    if os.environ.get("WINEPREFIX"):  # made by test-under-wine.sh
        wine = Wine(os.environ["WINEPREFIX"])
    else:
        wine = Wine.made(os.path.join(workdir, "prefix"), os.path.join(workdir, "ports"),
                         args.modem_lines)
    try:
        with zipfile.ZipFile(args.zip) as archive:
            archive.extractall(workdir)
        unpacked = os.path.join(workdir, os.path.basename(args.zip)[:-len(".zip")])
        scenarios = Scenarios(args, wine, unpacked, workdir)

        def run_one(name):
            name = FOLDED.get(name, name)
            return scenarios.look(name) if name in LOOKS else getattr(scenarios, name)()
        names = list(dict.fromkeys(FOLDED.get(name, name) for name in args.names))
        return run_table("wine scenarios", names, run_one)
    finally:
        wine.end()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
