#!/usr/bin/env python3
"""The panel natively on Wayland (QT_QPA_PLATFORM=wayland) under a headless KWin, driven with KWin's
own input device and read over the accessibility bus, on the simulated boards.

    wayland_scenarios.py --panel PATH --board PATH [--artifacts DIR] [SCENARIO ...]

Each scenario runs in a process of its own (one accessibility bus a process) with its own KWin,
session bus, boards and panel, and prints its time. Started as root, the scenarios run as an
ordinary user (TOLVANE_WAYLAND_USER, default tolvane-wl, added when missing), as a desktop
session does; the programs and scripts are copied where that user may read them. Exits 77 when
KWin or pyatspi is missing, so ctest reports a skip; with the environment variable CI set, that
fails instead.
"""

import argparse
import fcntl
import glob
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
E2E = os.path.join(HERE, "..", "e2e")
sys.path.insert(0, E2E if os.path.isdir(E2E) else HERE)  # a copy for the user has them beside

import panel_e2e  # noqa: E402
from kwin_session import KWin  # noqa: E402
from panel_e2e import FIELD, SLIDER, START_UP, PanelTest  # noqa: E402
from panel_harness import Board, E2EError, Screen, Session, poll, write_png  # noqa: E402

SKIP = 77
USER = os.environ.get("TOLVANE_WAYLAND_USER", "tolvane-wl")
TABLE = ["start_up", "slider_keys", "slider_clicks_fusion", "thumb_drag", "center",
         "typed_field_played", "save_and_playback_echo", "com2_present", "com2_from_the_keyboard",
         "com2_from_alt", "com2_absent", "board_gone_idle", "exit", "board_window"]
HORN_BLUE = (0x1F, 0x5F, 0xA8)
LEAKS = "qt-wayland-leaks.supp"


class WaylandScreen(Screen):
    """The window over AT-SPI, with extents made global: Qt's Wayland plugin reports them
    relative to the accessible's own top-level window, whose place only KWin knows."""

    def __init__(self, pid, kwin):
        super().__init__(pid)
        self.kwin = kwin
        self._main_origin = None

    def extents(self, accessible):
        x, y, width, height = Screen.extents(accessible)
        top = accessible
        while top.parent is not None and top.parent.getRoleName() != "application":
            top = top.parent
        top_x, top_y, top_width, top_height = Screen.extents(top)
        origin_x, origin_y = self.origin(top.getRoleName(), (top_width, top_height))
        return (origin_x + x - top_x, origin_y + y - top_y, width, height)

    def origin(self, role, size):
        """Where KWin shows the client area of the panel's window of that role and size."""
        if role == "frame" and self._main_origin:
            return self._main_origin  # a fixed window that nothing moves
        transient = role != "frame"

        def shown():
            found = [w for w in self.kwin.windows() if w["pid"] == self.pid
                     and bool(w["transient"]) == transient and tuple(w["client"][2:]) == size]
            return found[0] if len(found) == 1 else None
        # The accessible may be there before KWin shows its window.
        origin = tuple(poll(shown, 10, "KWin to show one %s of the panel's of %dx%d" % (
            role, size[0], size[1]))["client"][:2])
        if role == "frame":
            self._main_origin = origin
        return origin


class WaylandSession(Session):
    """One panel under its own KWin, on its own boards; what a test calls is Session's."""

    def _start(self):
        self.workdir = tempfile.mkdtemp(prefix="tolvane-wayland-")
        env = {k: v for k, v in os.environ.items()
               if k not in ("QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "XDG_CURRENT_DESKTOP",
                            "DESKTOP_SESSION", "DISPLAY", "WAYLAND_DISPLAY", "SESSION_MANAGER",
                            "AT_SPI_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM")}
        env.update({"GSETTINGS_BACKEND": "memory", "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8",
                    "NO_AT_BRIDGE": "0", "QT_QPA_PLATFORM": "wayland"})
        # Under LeakSanitizer, what Qt's Wayland plugin leaves at exit is its own, not the panel's.
        env["LSAN_OPTIONS"] = ":".join(filter(None, (
            env.get("LSAN_OPTIONS"), "suppressions=" + os.path.join(HERE, LEAKS))))
        if sanitized(self.panel_program):
            # Without a GPU, Qt's EGL integration loads Mesa's llvmpipe, which leaves an
            # allocation that no suppression can name (its stack has no module). An integration
            # that does not exist loads none; the widgets draw into shared memory either way.
            env["QT_WAYLAND_CLIENT_BUFFER_INTEGRATION"] = "none"
        self.kwin = KWin(self.workdir, env)
        self.env = self.kwin.env
        # pyatspi in this process talks to this bus.
        for key in ("DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "GSETTINGS_BACKEND"):
            os.environ[key] = self.env[key]
        for port in (1, 2):
            path = os.path.join(self.workdir, "COM%d" % port)
            self.device_paths[port] = path
            if port in self.board_options:
                self.boards[port] = Board(self.board_program, path, self.workdir,
                                          self.board_options[port], self.env)
        self.start_panel()

    def start_panel(self):
        env = dict(self.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
        env.update(self.panel_devices())
        if self.style:
            env["QT_STYLE_OVERRIDE"] = self.style
        self.panel_log = os.path.join(self.workdir, "panel.log")
        with open(self.panel_log, "wb") as log:
            self.panel = subprocess.Popen([self.panel_program], env=env, stdout=log, stderr=log,
                                          stdin=subprocess.DEVNULL, start_new_session=True)
        self.input = self.kwin.input
        self.screen = WaylandScreen(self.panel.pid, self.kwin)
        self.screen.find_controls(timeout=self.find_timeout)

    def _stop(self, failed):
        kwin, self.kwin = getattr(self, "kwin", None), None
        if failed and kwin:
            try:
                self.save_screenshot(os.path.join(self.artifacts, self.name + "-failure.png"),
                                     kwin=kwin)
            except Exception as error:  # noqa: BLE001 - the failure itself matters more
                print("no failure screenshot: %r" % (error,))
        try:
            super()._stop(failed)  # the panel, the boards, the logs (KWin's among them)
        finally:
            if kwin:
                kwin.stop()
                # KWin writes its settings as it ends, into the folder just removed.
                shutil.rmtree(self.workdir, ignore_errors=True)

    def save_screenshot(self, path, rect=None, kwin=None):
        width, height, rgb = (kwin or self.kwin).capture(rect)
        write_png(path, width, height, rgb)
        return path

    def window_pixels(self):
        rect = self.screen.window_rect()
        width, height, rgb = self.kwin.capture(rect)
        return rect, width, height, rgb


def sanitized(program):
    with open(program, "rb") as binary:
        return b"libasan.so" in binary.read()


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class WaylandTest(PanelTest):
    """The X11 table's scenarios, and those that only this table has, under Wayland."""

    def session(self, **options):
        return WaylandSession(CONFIG.panel, CONFIG.board, CONFIG.artifacts, self._testMethodName,
                              **options)

    def test_slider_keys(self):
        # (key, channel it moves, value it sends; None: moves the focus and sends nothing).
        # Channel 0's slider has the focus at start-up.
        cases = [("Up", 0, 126), ("Down", 0, 127), ("Down", 0, 128), ("Tab", None, None),
                 ("Page_Up", 1, 126), ("End", 1, 254), ("Home", 1, 1), ("Down", 1, 2)]
        with self.session() as s:
            board = s.boards[1]
            board.wait_for_count(16)
            expected = []
            for key, channel, value in cases:
                s.input.key(key)
                if channel is None:
                    continue
                expected.append((channel, value))
                self.assertEqual(board.wait_for_count(16 + len(expected))[16:], expected, key)
                self.wait_text(s, FIELD % channel, " %d" % value)
                self.assertEqual(s.screen.value(SLIDER % channel), value, key)
            self.assertEqual(self.fence(s, board, 16 + len(expected))[16:], expected)

    def test_typed_field_played(self):
        with self.session() as s:
            board = s.boards[1]
            board.wait_for_count(16)
            s.click(FIELD % 2)
            s.input.key("ctrl+a")
            s.input.type("200")
            self.wait_text(s, FIELD % 2, "200")
            s.input.key("Return")  # a field runs nothing on Return
            self.assertEqual(self.fence(s, board, 16), START_UP, "typing sent something")
            s.click("Save Pos")
            self.wait_text(s, "Next step", "2")
            # Opening the port anew drops the echoes of start-up, which wait unread.
            s.choose_menu("Com Port", "Com1,2400,N,8,1")
            s.click("Playback")
            boxes = []
            for _ in range(8):
                boxes.append(s.wait_for_message())
                s.dismiss_message()
            self.assertEqual(boxes, ["1"] * 8)
            self.wait_text(s, "Next step", "2", timeout=30)
            # One try a channel with the field's texts, then the slider that moves to 200.
            played = [(k, 127) for k in range(7)] + [(7, 126)]
            played[2] = (2, 200)
            commands = board.wait_for_count(17 + 9)[17:]
            self.assertEqual(commands, played + [(2, 200)])
            self.assertEqual(s.screen.value(SLIDER % 2), 200)

    def test_com2_from_alt(self):
        with self.session(boards={1: (), 2: ()}) as s:
            s.boards[1].wait_for_count(16)
            poll(lambda: s.open_fds_to(s.device_paths[1]), 10, "COM1 open")
            com2 = ("Com Port", "Com2,2400,N,8,1")
            s.click("Playback Speed")
            s.input.key("Alt_L")  # pressed and released alone: selects the title
            self.assertIsNone(s.shown_menu_item(*com2), "Alt opened the menu")
            s.input.key("Down")
            poll(lambda: s.shown_menu_item(*com2), 10, "the port menu open")
            s.input.key("Down")
            s.input.key("Return")
            poll(lambda: s.open_fds_to(s.device_paths[2]), 10, "COM2 open")
            self.assertFalse(s.open_fds_to(s.device_paths[1]), "COM1 still open")
            s.assert_no_message()
            # The next move goes to COM2. (By mouse: Qt 6.4 may take the window for inactive
            # after the popup closes, and where a key then goes is Qt's race, not the panel's.)
            self.click_slider(s, 0, "up arrow")
            self.assertEqual(s.boards[2].wait_for_count(1), [(0, 126)])

    def test_board_gone_idle(self):
        with self.session() as s:
            s.boards[1].wait_for_count(16)
            s.boards[1].stop()  # its pseudo-terminal closes, as a pulled cable
            text = s.wait_for_message()
            self.assertIn("the device was removed", text)
            time.sleep(2.0)
            self.assertEqual(len(s.screen.message_boxes()), 1, "message boxes 2 s after the loss")
            s.dismiss_message()
            before = cpu_seconds(s.panel.pid)
            time.sleep(2.0)
            used = cpu_seconds(s.panel.pid) - before
            print("processor time in the 2 s after the message: %.2f s" % used)
            self.assertLess(used, 0.5, "the panel spins after the loss")
            s.assert_no_message(watch=0.5)

    def test_board_window(self):
        board_title = "Tolvane board"
        with self.session(boards={1: ("--window", "--baud", "2400")}) as s:
            board = s.boards[1]
            board.wait_for_count(16)

            def board_window():
                found = [w for w in s.kwin.windows() if w["caption"] == board_title]
                return found[0] if len(found) == 1 else None

            def still_image(rect):
                """The window once KWin has drawn it over the panel and its horns stand still."""
                def unchanged():
                    first = s.kwin.capture(rect)
                    time.sleep(0.1)
                    return first == s.kwin.capture(rect) and first
                return poll(unchanged, 10, "the board's window to stand still")

            def horns():
                # Raised for the picture: the panel came up over it.
                self.assertEqual(s.kwin.activate(board_title), 1)
                width, height, rgb = still_image(board_window()["client"])
                blue = bytes(HORN_BLUE)
                points = {(i // 3 % width, i // 3 // width) for i in range(0, len(rgb), 3)
                          if rgb[i:i + 3] == blue}
                return points, (width, height, rgb)

            window = poll(board_window, 15, "one window titled %r" % board_title)
            width = window["client"][2]
            before, image = poll(lambda: (lambda h: len(h[0]) > 8 * 40 and h)(horns()), 15,
                                 "the eight horns drawn in the board's window")
            write_png(os.path.join(CONFIG.artifacts, "board-window.png"), *image)
            s.save_screenshot(os.path.join(CONFIG.artifacts, "wayland-screen.png"))
            # Channel 0 to the end of its range: its horn turns from up to right, and no other.
            self.assertEqual(s.kwin.activate("Tolvane"), 1)  # back over the board's window
            s.input.key("End")
            self.assertEqual(board.wait_for_count(17)[16:], [(0, 254)])
            after, _ = horns()
            gone, came = before - after, after - before
            self.assertTrue(gone and came, "the horns did not move")
            centre = lambda points, axis: sum(p[axis] for p in points) / len(points)  # noqa: E731
            self.assertGreater(centre(came, 0), centre(gone, 0) + 5, "the horn did not turn right")
            self.assertGreater(centre(came, 1), centre(gone, 1), "the horn did not turn down")
            spread = max(p[0] for p in gone | came) - min(p[0] for p in gone | came)
            self.assertLess(spread, width // 3, "more than one dial changed")
            # Closing the window ends the board as a stop signal does: cleanly, link removed.
            self.assertEqual(s.kwin.close_window(board_title), 1)
            self.assertEqual(board.process.wait(timeout=10), 0)
            self.assertFalse(os.path.lexists(board.link), "link left behind")
            poll(lambda: not any(w["caption"] == board_title for w in s.kwin.windows()), 10,
                 "the board's window gone")


CONFIG = argparse.Namespace(panel=None, board=None, artifacts=None)


def missing():
    """What no scenario can run without, here."""
    lacking = [tool for tool in ("kwin_wayland", "dbus-daemon", "Xvfb", "xwd")
               if shutil.which(tool) is None]
    try:
        import gi  # noqa: F401, PLC0415
        import pyatspi  # noqa: F401, PLC0415
    except ImportError:
        lacking.append("pyatspi (python3-pyatspi, for /usr/bin/python3)")
    if not glob.glob("/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so"):
        lacking.append("Qt's Wayland plugin (qt6-wayland)")
    return lacking


def as_user(args, names):
    """Runs the scenarios again as the ordinary user, from copies that the user may read."""
    with open("/run/lock/tolvane-wayland-user.lock" if os.path.isdir("/run/lock")
              else "/tmp/tolvane-wayland-user.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)  # ctest starts scenarios side by side
        try:
            account = pwd.getpwnam(USER)
        except KeyError:
            print("adding the user %s for the Wayland session" % USER)
            subprocess.run(["useradd", "--create-home", USER], check=True)
            account = pwd.getpwnam(USER)
    stage = tempfile.mkdtemp(prefix="tolvane-wayland-stage-")
    try:
        os.chmod(stage, 0o755)
        for folder in (HERE, E2E):
            for name in os.listdir(folder):
                if name.endswith(".py") or name == LEAKS:
                    shutil.copy(os.path.join(folder, name), stage)
        for program in (args.panel, args.board):
            shutil.copy(program, stage)
        artifacts = os.path.join(stage, "artifacts")
        os.mkdir(artifacts)
        os.chown(artifacts, account.pw_uid, account.pw_gid)
        env = {k: v for k, v in os.environ.items()
               if k in ("CI", "PATH", "TERM", "LANG", "ASAN_OPTIONS", "UBSAN_OPTIONS")}
        env.update(HOME=account.pw_dir, USER=USER, LOGNAME=USER)
        python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
        command = [python, os.path.join(stage, os.path.basename(__file__)),
                   "--panel", os.path.join(stage, os.path.basename(args.panel)),
                   "--board", os.path.join(stage, os.path.basename(args.board)),
                   "--artifacts", artifacts, *names]
        code = subprocess.call(command, env=env, cwd=stage, user=account.pw_uid,
                               group=account.pw_gid,
                               extra_groups=os.getgrouplist(USER, account.pw_gid))
        os.makedirs(args.artifacts, exist_ok=True)
        for name in os.listdir(artifacts):
            shutil.copy(os.path.join(artifacts, name), args.artifacts)
        return code
    finally:
        shutil.rmtree(stage, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--panel", help="the built tolvane")
    parser.add_argument("--board", help="the built tolvane-board")
    parser.add_argument("--artifacts", default=os.path.join(os.getcwd(), "wayland-artifacts"))
    parser.add_argument("--list", action="store_true", help="print the scenarios' names")
    parser.add_argument("names", nargs="*", help="scenarios to run, all by default")
    args = parser.parse_args()
    if args.list:
        print("\n".join(TABLE))
        return 0
    if not args.panel or not args.board:
        parser.error("--panel and --board are needed to run scenarios")
    unknown = sorted(set(args.names) - set(TABLE))
    if unknown:
        parser.error("no such scenario: %s (there are %s)" % (unknown, ", ".join(TABLE)))
    lacking = missing()
    if lacking:
        ci = bool(os.environ.get("CI"))
        print("%s: not installed: %s (tools/install-deps.sh installs them)%s" % (
            "FAILED" if ci else "SKIPPED", ", ".join(lacking),
            "; CI is set, where the Wayland scenarios must run" if ci else ""))
        return 1 if ci else SKIP
    names = args.names or TABLE
    if os.geteuid() == 0:
        return as_user(args, names)
    os.makedirs(args.artifacts, exist_ok=True)
    if len(names) > 1:
        return run_each(names, args)
    CONFIG.panel, CONFIG.board = os.path.abspath(args.panel), os.path.abspath(args.board)
    CONFIG.artifacts = os.path.abspath(args.artifacts)
    panel_e2e.CONFIG = CONFIG  # the X11 table's steps save their screenshots there as well
    result = unittest.main(module=__name__, argv=[sys.argv[0], "-v",
                                                  "WaylandTest.test_" + names[0]],
                           exit=False, warnings="ignore").result
    return 0 if result.wasSuccessful() else 1


def run_each(names, args):
    failed = []
    for name in names:
        started = time.monotonic()
        code = subprocess.call([sys.executable, os.path.abspath(__file__), "--panel", args.panel,
                                "--board", args.board, "--artifacts", args.artifacts, name])
        print("%s: %s in %.1f s" % (name, "passed" if code == 0 else "FAILED",
                                    time.monotonic() - started), flush=True)
        if code != 0:
            failed.append(name)
    print("%d passed, %d failed" % (len(names) - len(failed), len(failed)))
    return 1 if failed else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except E2EError as error:
        print("ERROR:", error)
        sys.exit(1)
