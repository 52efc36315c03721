"""The panel's window as Qt's own accessibility tells it, over AT-SPI (Linux, on X or Wayland).

The panel runs with QT_LINUX_ACCESSIBILITY_ALWAYS_ON on a private D-Bus session bus; pyatspi
(Debian's python3-pyatspi) asks it for the text of every field, the value of every slider, the
screen rectangle of every control and the text of every message box. That is what the toolkit
itself knows, so it needs no image matching, no fonts and no pixel arithmetic, and it cannot
mistake a stale frame for the current one: Qt 6.4 and 6.8 expose every control with its role,
its extents in screen pixels, the fields' text, the sliders' values and each QMessageBox as an
"alert" holding its label.

Controls are found by their accessible names ("Channel 0 position", "Save Pos", ...); a name
that is missing or given twice fails the run with a list of what the window holds.
"""

import shutil
import subprocess

from .boards import end_group, read_line
from .checks import ScenarioError, poll
from .panel import Box


class SessionBus:
    """A D-Bus session bus of a session's own."""

    def __init__(self):
        self.process = None

    def start(self, env):
        """Starts the bus; returns its address."""
        if shutil.which("dbus-daemon") is None:
            raise ScenarioError("dbus-daemon is missing (Debian package dbus-daemon)")
        self.process = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
            env=env, start_new_session=True)
        return read_line(self.process.stdout, 30, "the session bus address")

    def stop(self):
        if self.process:
            end_group(self.process)
            self.process.stdout.close()


class AccessibleWindow:
    """The window read over AT-SPI, on a session bus of its own that starts the accessibility
    bus on demand, or on the one that the display lives on (a compositor's).

    Where the toolkit reports extents relative to each top-level window (Qt on Wayland, where a
    program does not know its place), a placer tells where the window system shows that window:
    placer.client_origin(pid, role, (width, height)) -> (x, y) of its client area on the screen.
    """

    panel_variables = {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_ACCESSIBILITY": "1"}

    def __init__(self, placer=None):
        self.placer = placer
        self._bus = SessionBus()
        self.pid = None
        self.controls = {}
        self.client = None

    def start(self, env, workdir):
        """Starts the session bus unless the display brought one; returns the variables that
        name it."""
        if env.get("DBUS_SESSION_BUS_ADDRESS"):
            return {}
        return {"DBUS_SESSION_BUS_ADDRESS": self._bus.start(env)}

    def stop(self):
        self._bus.stop()

    def find(self, panel, timeout):
        """Finds every named control of the window; fails when two share a name."""
        # Imported here: pyatspi connects to the bus named by the environment of its first use,
        # which the session sets up before.
        try:
            import pyatspi
            from gi.repository import Atspi
        except ImportError as error:
            raise ScenarioError("pyatspi is missing (Debian package python3-pyatspi; it belongs "
                                "to /usr/bin/python3): %s" % error) from error
        self.pyatspi, self.atspi = pyatspi, Atspi
        Atspi.set_timeout(5000, 30000)  # calls made while the panel is busy just wait
        self.pid = panel.pid
        frame = poll(self._main_frame, timeout, "the panel's window on AT-SPI")
        self.client = poll(lambda: next((c for c in frame if c.getRoleName() == "filler"), None),
                           timeout, "the window's client area")
        named = [(c.name, c) for c in self.client if c.name]
        self.controls = dict(named)
        if len(self.controls) != len(named):
            raise ScenarioError("controls share a name: %s" % sorted(name for name, _ in named))

    def _application(self):
        desktop = self.pyatspi.Registry.getDesktop(0)
        desktop.clearCache()
        for app in desktop:
            if app is not None and app.get_process_id() == self.pid:
                app.setCacheMask(self.atspi.Cache.NONE)
                app.clearCache()
                return app
        return None

    def _main_frame(self):
        app = self._application()
        for child in app or []:
            if child.getRoleName() == "frame" and child.name == "Tolvane":
                return child
        return None

    @staticmethod
    def _reported(accessible):
        box = accessible.queryComponent().getExtents(0)  # 0: screen (desktop) coordinates
        return (box.x, box.y, box.width, box.height)

    def _extents(self, accessible):
        x, y, w, h = self._reported(accessible)
        if self.placer is None:
            return x, y, w, h
        top = accessible
        while top.parent is not None and top.parent.getRoleName() != "application":
            top = top.parent
        top_x, top_y, top_w, top_h = self._reported(top)
        origin_x, origin_y = self.placer.client_origin(self.pid, top.getRoleName(),
                                                       (top_w, top_h))
        return origin_x + x - top_x, origin_y + y - top_y, w, h

    def _control(self, name):
        if name not in self.controls:
            raise ScenarioError("no control named %r; the window holds %s" % (
                name, sorted(self.controls)))
        return self.controls[name]

    def roles(self):
        """Every named control's role, by its name."""
        return {name: control.getRoleName() for name, control in self.controls.items()}

    def rect(self, name):
        return self._extents(self._control(name))

    def text(self, name):
        return self._control(name).queryText().getText(0, -1)

    def value(self, name):
        return int(self._control(name).queryValue().currentValue)

    def active(self):
        """Whether the toolkit takes the panel's window for the active one: only then do keys
        reach the window's shortcuts, such as F10."""
        frame = self._main_frame()
        return frame is not None and frame.getState().contains(self.pyatspi.STATE_ACTIVE)

    def window_rect(self):
        return self._extents(self._main_frame())

    def client_rect(self):
        return self._extents(self.client)

    def message_boxes(self):
        """Every message box now open, oldest first."""
        boxes = []
        for child in self._application() or []:
            if child.getRoleName() in ("alert", "dialog"):
                texts = [c.name for c in child if c.getRoleName() == "label" and c.name]
                # The object's path on the bus: Qt never hands the same one to a later box.
                boxes.append(Box(" ".join(texts), child.path, None,
                                 child.getState().contains(self.pyatspi.STATE_ACTIVE)))
        return boxes

    def give_keyboard(self, box, input):
        """Nothing to do: a box counts as found once it is active."""

    def menu_title(self, title):
        return self._extents(self._menu_item(title))

    def shown_menu_item(self, title, item):
        """The screen rectangle of a menu item while its menu is open, else None."""
        entry = self._menu_item(title, item)
        if entry is None:
            return None
        x, y, w, h = self._extents(entry)
        showing = entry.getState().contains(self.pyatspi.STATE_SHOWING)
        return (x, y, w, h) if showing and w > 0 and h > 0 and y > 0 else None

    def _menu_item(self, *path):
        """The menu entry reached by captions, e.g. ("Com Port", "Com2,2400,N,8,1")."""
        node = next(c for c in self._main_frame() if c.getRoleName() == "menu bar")
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
