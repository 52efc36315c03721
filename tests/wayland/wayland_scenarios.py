#!/usr/bin/env python3
"""The panel natively on Wayland (QT_QPA_PLATFORM=wayland) under a headless KWin, driven with KWin's
own input device and read over the accessibility bus, on the simulated boards (tests/harness).

    wayland_scenarios.py --panel PATH --board PATH [--artifacts DIR] [NAME ...]

Each scenario runs in a process of its own (one accessibility bus a process) with its own KWin,
session bus, boards and panel, and prints its time. Started as root, the scenarios run as an
ordinary user (TOLVANE_WAYLAND_USER, default tolvane-wl, added when missing), as a desktop
session does; the scripts and programs are copied where that user may read them. Exits 77 when
KWin or pyatspi is missing, so ctest reports a skip; with the environment variable CI set, that
fails instead.
"""

import fcntl
import glob
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TESTS = os.path.dirname(HERE)
sys.path[:0] = [TESTS, os.path.join(TESTS, "e2e")]
import panel_e2e  # noqa: E402
from harness.atspi import AccessibleWindow  # noqa: E402
from harness.checks import ScenarioError, check, equal, figure  # noqa: E402
from harness.panel import COM1_ITEM, FIELD, SLIDER, START_UP  # noqa: E402
from harness.session import Stage  # noqa: E402
from kwin_session import FakeInput, KWin  # noqa: E402

USER = os.environ.get("TOLVANE_WAYLAND_USER", "tolvane-wl")
LEAKS = os.path.join(HERE, "qt-wayland-leaks.supp")


class WaylandStage(Stage):
    """KWin as the display, its fake input as the input, the window's extents placed by KWin."""

    def display(self):
        # Under LeakSanitizer, what Qt's Wayland plugin leaves at exit is its own, not the panel's.
        variables = {"LSAN_OPTIONS": ":".join(filter(None, (
            os.environ.get("LSAN_OPTIONS"), "suppressions=" + LEAKS)))}
        with open(self.panel_program, "rb") as program:
            if b"libasan.so" in program.read():
                # Without a GPU, Qt's EGL integration loads Mesa's llvmpipe, which leaves an
                # allocation that no suppression can name (its stack has no module). An
                # integration that does not exist loads none; widgets draw into shared memory.
                variables["QT_WAYLAND_CLIENT_BUFFER_INTEGRATION"] = "none"
        return KWin(variables)

    def input(self, env):
        return FakeInput(env)

    def window(self, display):
        return AccessibleWindow(placer=display)


class WaylandScenarios(panel_e2e.PanelScenarios):
    """The X11 table's scenarios that matter where the compositor owns focus, popups and input,
    and those that only this table has."""

    NAMES = ["start_up", "slider_keys", "slider_clicks_fusion", "thumb_drag", "center",
             "typed_field_played", "save_and_playback_echo", "com2_present",
             "com2_from_the_keyboard", "com2_from_alt", "com2_absent", "board_gone_idle", "exit",
             "board_window"]

    def slider_keys(self):
        # (key, channel it moves, value it sends; None: moves the focus and sends nothing).
        # Channel 0's slider has the focus at start-up.
        cases = [("Up", 0, 126), ("Down", 0, 127), ("Down", 0, 128), ("Tab", None, None),
                 ("Page_Up", 1, 126), ("End", 1, 254), ("Home", 1, 1), ("Down", 1, 2)]
        with self.session("slider_keys") as s:
            board = s.boards[1]
            board.wait_for_count(16)
            expected = []
            for key, channel, value in cases:
                s.input.key(key)
                if channel is None:
                    continue
                expected.append((channel, value))
                equal(board.wait_for_count(16 + len(expected))[16:], expected, key)
                s.wait_text(FIELD % channel, " %d" % value)
                equal(s.window.value(SLIDER % channel), value, key)
            equal(s.fence(board), START_UP + expected, "commands before the fence")

    def typed_field_played(self):
        with self.session("typed_field_played") as s:
            board = s.boards[1]
            board.wait_for_count(16)
            s.click(FIELD % 2)
            s.input.key("ctrl+a")
            s.input.type("200")
            s.wait_text(FIELD % 2, "200")
            s.input.key("Return")  # a field runs nothing on Return
            equal(s.fence(board), START_UP, "sent by typing")
            s.click("Save Pos")
            s.wait_text("Next step", "2")
            # Opening the port anew drops the echoes of start-up, which wait unread.
            s.choose_menu(*COM1_ITEM)
            s.click("Playback")
            boxes = []
            for _ in range(8):
                boxes.append(s.wait_for_message())
                s.dismiss_message()
            equal(boxes, ["1"] * 8, "try counts shown")
            s.wait_text("Next step", "2", timeout=30)
            # One try a channel with the fields' texts, then the slider that moves to 200.
            played = [(k, 127) for k in range(7)] + [(7, 126)]
            played[2] = (2, 200)
            equal(board.wait_for_count(17 + 9)[17:], played + [(2, 200)], "the played step")
            equal(s.window.value(SLIDER % 2), 200, "channel 2's slider")

    def com2_from_alt(self):
        with self.session("com2_from_alt", boards={1: (), 2: ()}) as s:
            self.choose_com2_by_keys(s, "Alt_L")
            # The next move goes to COM2. (By mouse: Qt 6.4 may take the window for inactive
            # after the popup closes, and where a key then goes is Qt's race, not the panel's.)
            s.click_slider(0, "up arrow")
            equal(s.boards[2].wait_for_count(1), [(0, 126)], "at COM2")

    def board_gone_idle(self):
        with self.session("board_gone_idle") as s:
            s.boards[1].wait_for_count(16)
            s.boards[1].stop()  # its pseudo-terminal closes, as a pulled cable
            text = s.wait_for_message()
            check("the device was removed" in text, "the message: %r" % text)
            time.sleep(2.0)
            equal(len(s.window.message_boxes()), 1, "message boxes 2 s after the loss")
            s.dismiss_message()
            used = s.processor_time(2.0)
            figure("processor time in the 2 s after the message: %.2f s", used)
            check(used < 0.5, "the panel spins after the loss: %.2f s" % used)
            s.assert_no_message(watch=0.5)


def missing():
    """What no scenario can run without, here."""
    lacking = [tool for tool in ("kwin_wayland", "dbus-daemon", "Xvfb", "xwd")
               if shutil.which(tool) is None]
    try:
        import pyatspi  # noqa: F401, PLC0415
    except ImportError:
        lacking.append("pyatspi (python3-pyatspi, for /usr/bin/python3)")
    if not glob.glob("/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so"):
        lacking.append("Qt's Wayland plugin (qt6-wayland)")
    return lacking


def as_user(args, names):
    """Started as root: runs the scenarios again as the ordinary user, from copies that the user
    may read (/root is closed), and returns their exit status; else None."""
    if os.geteuid() != 0:
        return None
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
        # The tests' folders as they lie in the tree, and the layout header the harness reads.
        for folder in ("harness", "e2e", "wayland"):
            shutil.copytree(os.path.join(TESTS, folder), os.path.join(stage, "tests", folder),
                            ignore=shutil.ignore_patterns("__pycache__"))
        layout = os.path.join("src", "panel", "window_layout.h")
        os.makedirs(os.path.join(stage, os.path.dirname(layout)))
        shutil.copy(os.path.join(TESTS, "..", layout), os.path.join(stage, layout))
        for program in (args.panel, args.board):
            shutil.copy(program, stage)
        artifacts = os.path.join(stage, "artifacts")
        os.mkdir(artifacts)
        os.chown(artifacts, account.pw_uid, account.pw_gid)
        env = {k: v for k, v in os.environ.items()
               if k in ("CI", "PATH", "TERM", "LANG", "ASAN_OPTIONS", "UBSAN_OPTIONS")}
        env.update(HOME=account.pw_dir, USER=USER, LOGNAME=USER)
        python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
        command = [python, os.path.join(stage, "tests", "wayland", os.path.basename(__file__)),
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


if __name__ == "__main__":
    try:
        sys.exit(panel_e2e.main(WaylandScenarios, WaylandStage, "Wayland", "wayland-artifacts",
                                missing, as_user, __doc__))
    except ScenarioError as error:
        print("ERROR:", error)
        sys.exit(1)
