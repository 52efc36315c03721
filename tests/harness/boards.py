"""The simulated board on a pseudo-terminal with every command it has decoded, and the ending of
what a session starts."""

import os
import re
import select
import signal
import subprocess
import threading
import time

from .checks import ScenarioError, poll

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


def end_group(process, grace=5.0):
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


def read_line(stream, timeout, what):
    """One line from a pipe, waiting at most timeout seconds."""
    deadline = time.monotonic() + timeout
    data = b""
    fd = stream.fileno()
    while not data.endswith(b"\n"):
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            raise ScenarioError("timed out waiting for %s" % what)
        ready, _, _ = select.select([fd], [], [], remaining)
        if ready:
            chunk = os.read(fd, 1)
            if not chunk:
                raise ScenarioError("%s: the pipe closed before a line came" % what)
            data += chunk
    return data.decode().strip()


class Board:
    """The simulated board on a pseudo-terminal, behind a link, with every command it has decoded.

    The kernel lab's guest has a board of the same shape that asks the host (RemoteBoard)."""

    COMMAND = re.compile(r"^command channel (\d+) position (\d+)$")

    def __init__(self, program, link, workdir, options=(), env=None):
        self.link = link
        self._lock = threading.Condition()
        self._commands = []
        self._stderr = open(os.path.join(workdir, os.path.basename(link) + ".stderr"), "wb")
        self.process = subprocess.Popen(
            [program, "--link", link, *options], stdout=subprocess.PIPE, stderr=self._stderr,
            stdin=subprocess.DEVNULL, env=env, start_new_session=True)
        first = read_line(self.process.stdout, 10, "the board's device line")
        if not first.startswith("device "):
            raise ScenarioError("the board printed %r instead of its device" % first)
        self.device = first[len("device "):]
        poll(lambda: os.path.islink(link), 10, "the board's link " + link)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for raw in self.process.stdout:
            match = self.COMMAND.match(raw.decode(errors="replace").strip())
            with self._lock:
                if match:
                    self._commands.append((int(match.group(1)), int(match.group(2))))
                self._lock.notify_all()

    def commands(self):
        """Every (channel, position) decoded so far, in order."""
        with self._lock:
            return list(self._commands)

    def count(self):
        with self._lock:
            return len(self._commands)

    def forget(self):
        """Starts the record afresh (the kernel lab's boards serve one scenario after another)."""
        with self._lock:
            self._commands.clear()

    def wait_until(self, condition, timeout, what):
        """Waits until condition(commands) holds; returns the commands."""
        deadline = time.monotonic() + timeout
        with self._lock:
            while not condition(self._commands):
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise ScenarioError("board %s: %s not met after %.1f s; %d commands: %s" % (
                        self.link, what, timeout, len(self._commands), self._commands[-20:]))
                self._lock.wait(remaining)
            return list(self._commands)

    def wait_for_count(self, count, timeout=10.0):
        """Waits until at least count commands have arrived; returns all of them."""
        return self.wait_until(lambda got: len(got) >= count, timeout, "%d commands" % count)

    def stop(self):
        end_group(self.process)
        if self.process.stdout:
            self.process.stdout.close()
        self._stderr.close()
