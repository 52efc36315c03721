"""The fixture of every stage: one panel on its own display and boards, its window read and
driven, its reports kept; ended, with everything it started, on the way out, also after a failure.

Every wait is a poll with a deadline. Each session starts its own display, its own simulated
boards and its own panel, all in new process groups, and a workdir for their logs, which are
printed when the session fails, with a screenshot kept beside the stage's artifacts.
"""

import os
import shutil
import subprocess
import tempfile
import time

from .atspi import AccessibleWindow
from .boards import Board, end_group, serial_lock_file
from .checks import ScenarioError, poll
from .panel import SLIDER, slider_point
from .x11 import Xdotool, Xvfb

# Variables of the desktop that started the run, which must not reach a session's programs.
DESKTOP_VARIABLES = ("QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "XDG_CURRENT_DESKTOP",
                     "DESKTOP_SESSION", "WAYLAND_DISPLAY", "SESSION_MANAGER", "AT_SPI_BUS_ADDRESS",
                     "DBUS_SESSION_BUS_ADDRESS", "DISPLAY")
# Variables that this process itself needs to reach the session's display and buses.
OWN_VARIABLES = ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR",
                 "GSETTINGS_BACKEND")


def cpu_ticks(pid):
    """The processor time, user and system, that a process of this system has taken so far, in
    the kernel's clock ticks."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def cpu_seconds(pid):
    return cpu_ticks(pid) / os.sysconf("SC_CLK_TCK")


class HostPanel:
    """The panel as a process of the system that runs the scenarios: the host, or the kernel
    lab's guest."""

    def __init__(self, program):
        self.program = program
        self.process = None

    def start(self, env, log_path):
        with open(log_path, "wb") as log:
            self.process = subprocess.Popen([self.program], env=env, stdout=log, stderr=log,
                                            stdin=subprocess.DEVNULL, start_new_session=True)

    @property
    def pid(self):
        return self.process.pid

    def running(self):
        return self.process.poll() is None

    def exit_code(self):
        return self.process.poll()

    def wait_for_exit(self, timeout):
        return poll(lambda: self.process.poll() is not None and (self.process.returncode,),
                    timeout, "the panel to end", interval=0.005)[0]

    def send_signal(self, number):
        self.process.send_signal(number)

    def holds_open(self, path):
        """True while the panel holds the device behind path open."""
        target = os.path.realpath(path)
        fd_dir = "/proc/%d/fd" % self.pid
        for fd in os.listdir(fd_dir):
            try:
                if os.path.realpath(os.path.join(fd_dir, fd)) == target:
                    return True
            except OSError:
                continue
        return False

    def stop(self):
        end_group(self.process)


class Stage:
    """What a stage plugs into the fixture; each method makes its part for one session. As they
    stand here they make the end-to-end tests' parts: Xvfb, xdotool, the window over AT-SPI, the
    panel as a process of this machine, its ports named by TOLVANE_COM1 and TOLVANE_COM2.

    What each part answers (x11.Xvfb, x11.Xdotool, atspi.AccessibleWindow and HostPanel are the
    models):
      display  platform (QT_QPA_PLATFORM), start(env, workdir) -> the variables naming it,
               running(), stop(), capture(rect) -> pixels.Image
      input    click(x, y), click_centre(rect), press, move, release, key(name),
               path(points, press, release), click_now() -> when the click left
      window   panel_variables, start(env, workdir) -> variables (its bus), find(panel, timeout),
               rect(name), client_rect(), message_boxes() -> [panel.Box],
               give_keyboard(box, input), stop(); where it can: text, value, window_rect,
               roles, menu_title, shown_menu_item
      panel    start(env, log_path), pid, running(), exit_code(), wait_for_exit(timeout), stop();
               on this system's processes also holds_open(path), send_signal(number)
    """

    find_timeout = 30.0  # how long the panel may take to show its window

    def __init__(self, panel, board, artifacts):
        self.panel_program, self.board_program, self.artifacts = panel, board, artifacts

    def display(self):
        return Xvfb()

    def input(self, env):
        return Xdotool(env)

    def window(self):
        return AccessibleWindow()

    def panel(self, program):
        return HostPanel(program)

    def name_ports(self, devices):
        """The variables that name the devices behind COM1 and COM2 for the panel."""
        return {"TOLVANE_COM%d" % port: path for port, path in devices.items()}

    def boards(self, session):
        """A simulated board behind each port that the session asks one for, with its options;
        a port without one gets a path that does not exist."""
        env = dict(session.env, QT_QPA_PLATFORM=session.display.platform)  # for its window
        return {port: Board(self.board_program, session.device_paths[port], session.workdir,
                            options, env)
                for port, options in session.board_options.items()}


class Session:
    """One panel on its stage; a context manager that cleans up.

    boards: port number -> extra board options, e.g. {1: (), 2: ("--no-reply",)}.
    """

    def __init__(self, stage, name, boards=None, style=None, program=None):
        self.stage = stage
        self.name = name
        self.board_options = {1: ()} if boards is None else boards
        self.style = style
        self.program = program or stage.panel_program
        self.boards = {}
        self.device_paths = {}
        self.workdir = self.env = None
        self.display = self.window = self.input = self.panel = None
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
        ended = kind is None and not self._exit_expected and not self.panel.running()
        self._stop(failed=kind is not None or ended)
        if ended:
            raise ScenarioError("the panel ended by itself during the scenario, with code %s"
                                % self.panel.exit_code())
        return False

    def _start(self):
        self.workdir = tempfile.mkdtemp(prefix="tolvane-scenario-")
        runtime = os.path.join(self.workdir, "runtime")
        os.mkdir(runtime, 0o700)
        env = {k: v for k, v in os.environ.items()
               if k not in DESKTOP_VARIABLES and not k.startswith("TOLVANE_COM")}
        env.update({"XDG_RUNTIME_DIR": runtime, "GSETTINGS_BACKEND": "memory",
                    "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", "NO_AT_BRIDGE": "0"})
        self.display = self.stage.display()
        env.update(self.display.start(env, self.workdir))
        self.window = self.stage.window()
        env.update(self.window.start(env, self.workdir))
        self.env = env
        for key in OWN_VARIABLES:  # e.g. pyatspi talks to this session's bus
            if key in env:
                os.environ[key] = env[key]
        self.device_paths = {port: os.path.join(self.workdir, "COM%d" % port) for port in (1, 2)}
        self.boards = self.stage.boards(self)
        self.input = self.stage.input(env)
        panel_env = dict(env, QT_QPA_PLATFORM=self.display.platform,
                         **self.window.panel_variables, **self.stage.name_ports(self.device_paths))
        if self.style:
            panel_env["QT_STYLE_OVERRIDE"] = self.style
        self.panel = self.stage.panel(self.program)
        self.panel.start(panel_env, os.path.join(self.workdir, "panel.log"))
        self.window.find(self.panel, self.stage.find_timeout)

    def _stop(self, failed):
        if failed and self.display and self.display.running():
            try:
                self.save_screenshot(os.path.join(self.stage.artifacts, self.name + "-failure.png"))
            except Exception as error:  # noqa: BLE001 - the failure itself matters more
                print("no failure screenshot: %r" % (error,))
        if self.panel:
            self.panel.stop()
        for board in self.boards.values():
            board.stop()
        if self.window:
            self.window.stop()
        if self.display:
            self.display.stop()
        for path in self.device_paths.values():
            # A panel that was killed leaves the serial port's lock file behind.
            stale = serial_lock_file(path)
            if stale:
                os.remove(stale)
        if failed and self.workdir:
            self._print_logs()
        if self.workdir:
            shutil.rmtree(self.workdir, ignore_errors=True)

    def _print_logs(self):
        for name in sorted(os.listdir(self.workdir)):
            path = os.path.join(self.workdir, name)
            if os.path.isfile(path) and os.path.getsize(path):
                with open(path, "rb") as log:
                    print("---- %s ----\n%s" % (name, log.read()[-4000:].decode(errors="replace")))

    # ---- what scenarios use ---------------------------------------------------------------

    def save_screenshot(self, path, rect=None):
        return self.display.capture(rect).save_png(path)

    def window_image(self):
        """(rect, image) of the panel's window as the screen shows it."""
        rect = self.window.window_rect()
        return rect, self.display.capture(rect)

    def click(self, name):
        self.input.click_centre(self.window.rect(name))

    def click_slider(self, channel, where):
        self.input.click(*slider_point(self.window.rect(SLIDER % channel), where))

    def fence(self, board, timeout=20.0):
        """Clicks the up arrow of channel 7's slider, which sends exactly one command
        (7, value - 1) behind everything the panel has sent before; returns what came before it.
        Comparing that with what is expected proves that nothing more reached the board."""
        value = self.window.value(SLIDER % 7)
        self.click_slider(7, "up arrow")
        return board.wait_until(lambda got: got[-1:] == [(7, value - 1)], timeout,
                                "the fence command (7, %d)" % (value - 1))[:-1]

    def wait_text(self, name, text, timeout=10.0):
        try:
            poll(lambda: self.window.text(name) == text, timeout, "%s to show %r" % (name, text))
        except ScenarioError as error:
            raise ScenarioError("%s; it shows %r" % (error, self.window.text(name))) from None

    def holds_open(self, path):
        return self.panel.holds_open(path)

    def processor_time(self, seconds=2.0):
        """The processor time that the panel takes in the next `seconds`."""
        before = cpu_ticks(self.panel.pid)
        time.sleep(seconds)
        return (cpu_ticks(self.panel.pid) - before) / os.sysconf("SC_CLK_TCK")

    def wait_for_message(self, timeout=15.0):
        """Waits for exactly one message box with the keyboard; returns its text (None where
        the stage cannot read it)."""
        def one_box():
            boxes = self.window.message_boxes()
            if len(boxes) > 1:
                raise ScenarioError("%d message boxes at once: %r" % (
                    len(boxes), [box.text for box in boxes]))
            return boxes[0] if boxes and boxes[0].active else None
        box = poll(one_box, timeout, "a message box")
        self._open_box = box
        return box.text

    def dismiss_message(self, key="Return", timeout=15.0):
        """Closes the message box that wait_for_message found, with a key; waits until it is
        gone (the next one may already be open by then)."""
        closing, self._open_box = self._open_box, None
        if closing is None:
            raise ScenarioError("no message box waited for, to dismiss")
        self.window.give_keyboard(closing, self.input)
        self.input.key(key)
        poll(lambda: all(box.identity != closing.identity for box in self.window.message_boxes()),
             timeout, "the message box to close after %s" % key)

    def assert_no_message(self, watch=1.0):
        """Fails if a message box is open now or opens within `watch` seconds."""
        deadline = time.monotonic() + watch
        while True:
            boxes = self.window.message_boxes()
            if boxes:
                raise ScenarioError("unexpected message box: %r" % [box.text for box in boxes])
            if time.monotonic() >= deadline:
                return
            time.sleep(0.05)

    def shown_menu_item(self, title, item):
        return self.window.shown_menu_item(title, item)

    def choose_menu(self, title, item, timeout=10.0):
        """Opens a menu of the menu bar with the mouse and clicks one of its items."""
        self.input.click_centre(self.window.menu_title(title))
        self.input.click_centre(poll(lambda: self.shown_menu_item(title, item), timeout,
                                     "menu item " + item))

    def wait_for_exit(self, timeout=15.0):
        """Waits for the panel to end, as it should now; returns its exit code where known."""
        self._exit_expected = True
        return self.panel.wait_for_exit(timeout)
