#!/usr/bin/env python3
"""The kernel lab: the panel in a virtual machine on Debian's kernel, against its own serial
drivers (ftdi_sio behind QEMU's USB adapter, the 8250 UART), with udev. tools/run-tests-kernel.sh
makes the kernel and initramfs and calls this file; it runs in three roles:

  on the host (default)  starts the simulated boards and QEMU, plugs and unplugs the adapters over
                         QMP, and answers the guest's questions; prints each scenario's time.
  --serve                in the guest, as root (guest-init.sh): runs each scenario the host asks
                         for as the ordinary user, and sends back its result.
  --guest NAME           in the guest, as that user: one scenario, on the harness of the
                         end-to-end tests (tests/harness) with the host's boards.

Host and guest talk over a virtio serial port named "lab", one JSON object a line. Every wait has
a deadline. The host side needs the standard library only.
"""

import argparse
import grp
import json
import os
import pwd
import select
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from harness.boards import Board, serial_lock_file  # noqa: E402
from harness.checks import (FAILED, ScenarioError, StageError, check, equal, figure,  # noqa: E402
                            poll, run_table)
from harness.panel import COM1_ITEM, COM2_ITEM, FIELD, SLIDER, START_UP, centre  # noqa: E402
from harness.session import Session, Stage, cpu_seconds  # noqa: E402

# The host's boards: name -> options. The quiet one never answers; it stands behind adapter A
# when a handshake must run on.
BOARDS = {"A": (), "B": (), "quiet": ("--no-reply",), "uart": ()}
# Adapters: name -> serial number; A was plugged in before the guest booted.
ADAPTERS = {"A": "A10K0001", "B": "B20K0002"}
BY_ID = "/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_%s-if00-port0"
LOST = ("The link on COM1 (%s) was lost: the device was removed. The panel will connect to the "
        "board again as soon as it is plugged in." % (BY_ID % ADAPTERS["A"]))
# Processor time an idle panel may take in 2 s: five clock ticks of 10 ms. Idle it takes none (the
# unplug benchmark measures 0.3 ms over its 2 s); a panel that spins takes all 2 s.
IDLE_SECONDS = 0.05


# ---- the line between host and guest --------------------------------------------------------

class Line:
    """JSON objects, one a line, over a file descriptor; every read has a deadline."""

    def __init__(self, fd):
        self.fd = fd
        self.pending = b""

    def send(self, **message):
        data = (json.dumps(message) + "\n").encode()
        while data:
            data = data[os.write(self.fd, data):]

    def receive(self, timeout, what):
        deadline = time.monotonic() + timeout
        while b"\n" not in self.pending:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise ScenarioError("timed out after %.0f s waiting for %s" % (timeout, what))
            ready, _, _ = select.select([self.fd], [], [], remaining)
            if ready:
                chunk = os.read(self.fd, 65536)
                if not chunk:
                    raise ScenarioError("the line closed while waiting for %s" % what)
                self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return json.loads(line)


# ---- the host ---------------------------------------------------------------------------------

class Qmp:
    """QEMU's machine protocol on a unix socket: commands and the events that follow them."""

    def __init__(self, path, timeout=30):
        self.sock = poll(lambda: _connect(path), timeout, "QEMU's QMP socket")
        self.line = Line(self.sock.fileno())
        self.events = []
        self.line.receive(timeout, "QMP's greeting")
        self.execute("qmp_capabilities")

    def execute(self, command, **arguments):
        self.line.send(execute=command, arguments=arguments)
        while True:
            reply = self.line.receive(30, "QMP's answer to " + command)
            if "event" in reply:
                self.events.append(reply)
            elif "error" in reply:
                raise ScenarioError("QMP %s %s: %s" % (command, arguments, reply["error"]))
            elif "return" in reply:
                return reply["return"]

    def wait_event(self, name, device, timeout=15):
        deadline = time.monotonic() + timeout
        while True:
            for event in self.events:
                if event["event"] == name and event.get("data", {}).get("device") == device:
                    self.events.remove(event)
                    return
            self.events.append(self.line.receive(max(0.0, deadline - time.monotonic()),
                                                 "%s of %s" % (name, device)))


def _connect(path):
    sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        sock.connect(path)
    except OSError:
        sock.close()
        return None
    return sock


class Host:
    def __init__(self, args):
        self.args = args
        self.boards = {}
        self.qemu = None
        self.plugged = {}  # adapter -> board behind it

    def start(self):
        work = self.args.work
        for name, options in BOARDS.items():
            self.boards[name] = Board(self.args.board, os.path.join(work, "board-" + name),
                                      work, options)
        self.plugged = {"A": "A"}
        command = [
            "qemu-system-x86_64", "-accel", "tcg", "-machine", "pc", "-m", "1024", "-smp", "2",
            "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot",
            "-kernel", self.args.kernel, "-initrd", self.args.initrd,
            "-append", "console=hvc0 panic=-1 loglevel=4 lab.adapters=1",
            "-device", "virtio-serial-pci",
            "-chardev", "file,id=console,path=%s/console.log" % work,
            "-device", "virtconsole,chardev=console",
            "-chardev", "socket,id=lab,path=%s/lab.sock,server=on,wait=off" % work,
            "-device", "virtserialport,chardev=lab,name=lab",
            "-qmp", "unix:%s/qmp.sock,server=on,wait=off" % work,
            "-virtfs", "local,path=%s,mount_tag=root,security_model=none,readonly=on,"
                       "multidevs=remap" % self.args.root,
            "-virtfs", "local,path=%s,mount_tag=tests,security_model=none,readonly=on,"
                       "multidevs=remap" % self.args.tests,
            "-device", "qemu-xhci,id=xhci",
        ]
        for name, board in self.boards.items():
            command += ["-chardev", "serial,id=board-%s,path=%s" % (name, board.device)]
        command += ["-serial", "chardev:board-uart"]  # ttyS0
        command += ["-device", self.adapter_device("A", "A")]
        self.qemu_log = open(os.path.join(work, "qemu.log"), "wb")
        self.qemu = subprocess.Popen(command, stdout=self.qemu_log, stderr=subprocess.STDOUT,
                                     stdin=subprocess.DEVNULL, start_new_session=True)
        try:
            self.lab_socket = poll(lambda: self.qemu.poll() is None and _connect(work + "/lab.sock")
                                   or self._qemu_ended(), 30, "QEMU's lab socket")
            self.lab = Line(self.lab_socket.fileno())
            self.qmp = Qmp(work + "/qmp.sock")
        except ScenarioError:
            self._qemu_ended()
            raise

    def _qemu_ended(self):
        if self.qemu.poll() is not None:
            with open(os.path.join(self.args.work, "qemu.log"), "rb") as log:
                raise ScenarioError("QEMU ended with %d: %s" % (
                    self.qemu.returncode, log.read()[-2000:].decode()))
        return None

    def adapter_device(self, adapter, board):
        return "usb-serial,id=adapter-%s,bus=xhci.0,chardev=board-%s,serial=%s" % (
            adapter, board, ADAPTERS[adapter])

    def answer(self, ask):
        kind = ask["ask"]
        if kind == "plugged":
            return self.plugged
        if kind == "plug":
            adapter, board = ask["adapter"], ask["board"]
            if adapter in self.plugged or board in self.plugged.values():
                raise ScenarioError("adapter %s or board %s is plugged in already" % (
                    adapter, board))
            fields = dict(item.split("=", 1) for item in
                          self.adapter_device(adapter, board).split(",")[1:])
            self.qmp.execute("device_add", driver="usb-serial", **fields)
            self.plugged[adapter] = board
            return True
        if kind == "unplug":
            adapter = ask["adapter"]
            self.qmp.execute("device_del", id="adapter-" + adapter)
            self.qmp.wait_event("DEVICE_DELETED", "adapter-" + adapter)
            del self.plugged[adapter]
            return True
        if kind == "commands":
            return self.boards[ask["board"]].commands()
        raise ScenarioError("unknown question %r" % ask)

    def run_scenario(self, name, timeout=240):
        """Runs one scenario in the guest, answering its questions; prints its figures, or its
        whole log when it fails or when asked."""
        for board in self.boards.values():
            board.forget()
        try:
            self.lab.send(run=name, panel=self.args.panel, user=self.args.user)
            deadline = time.monotonic() + timeout
            while True:
                message = self.lab.receive(max(0.0, deadline - time.monotonic()), name + "'s end")
                if "done" in message:
                    break
                try:
                    self.lab.send(reply=self.answer(message))
                except ScenarioError as error:
                    self.lab.send(error=str(error))
        except (ScenarioError, OSError) as error:  # the line timed out or closed
            raise StageError("%s\n---- console ----\n%s" % (error, self.console())) from None
        passed = message["code"] == 0
        for line in message["log"].splitlines():
            if not passed or self.args.verbose:
                print(line)
            elif line.startswith("figure: "):
                print("  " + line[len("figure: "):])
        return None if passed else FAILED

    def stop(self):
        if self.qemu and self.qemu.poll() is None:
            try:
                self.qmp.execute("quit")
            except Exception:  # noqa: BLE001 - ended below in any case
                pass
            try:
                self.qemu.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.qemu.kill()
                self.qemu.wait()
        for board in self.boards.values():
            board.stop()

    def console(self):
        with open(os.path.join(self.args.work, "console.log"), "rb") as log:
            return log.read()[-6000:].decode(errors="replace")


def run_host(args, names):
    started = time.monotonic()
    host = Host(args)
    try:
        host.start()
        ready = host.lab.receive(120, "the guest to boot")
        print("booted in %.1f s (the guest's clock: %.1f s); by-id: %s" % (
            time.monotonic() - started, ready["ready"], ", ".join(ready["by_id"]) or "nothing"),
            flush=True)
        return run_table("kernel lab", names, host.run_scenario)
    except ScenarioError as error:
        print("ERROR: %s\n---- console ----\n%s" % (error, host.console() if host.qemu else ""))
        return 1
    finally:
        host.stop()


# ---- the guest, as root -----------------------------------------------------------------------

def lab_port():
    for port in os.listdir("/sys/class/virtio-ports"):
        with open("/sys/class/virtio-ports/%s/name" % port) as name:
            if name.read().strip() == "lab":
                return "/dev/" + port
    raise ScenarioError("no virtio port named lab")


def end_user_processes(uid):
    """Whatever a scenario left behind (a panel, an X server) must not meet the next one."""
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                if os.stat("/proc/" + entry).st_uid == uid:
                    os.kill(int(entry), 9)
            except OSError:
                pass


def serve():
    fd = os.open(lab_port(), os.O_RDWR)
    line = Line(fd)
    with open("/proc/uptime") as uptime:
        booted = float(uptime.read().split()[0])
    by_id = sorted(os.listdir("/dev/serial/by-id")) if os.path.isdir("/dev/serial/by-id") else []
    line.send(ready=booted, by_id=by_id)
    while True:
        order = line.receive(24 * 3600, "the host's next scenario")
        uid = pwd.getpwnam(order["user"]).pw_uid
        command = ["setpriv", "--reuid", order["user"], "--regid", order["user"],
                   "--init-groups", "--reset-env", "python3", os.path.abspath(__file__),
                   "--guest", order["run"], "--fd", str(fd), "--panel", order["panel"]]
        child = subprocess.Popen(command, pass_fds=(fd,), stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                 start_new_session=True)
        try:
            log, _ = child.communicate(timeout=200)
        except subprocess.TimeoutExpired:
            end_user_processes(uid)
            log, _ = child.communicate()
            log += b"\nthe scenario ran out of time"
        end_user_processes(uid)
        if child.returncode != 0:
            log += b"\n---- the kernel's last messages ----\n" + subprocess.run(
                ["dmesg"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT).stdout[-3000:]
        line.send(done=order["run"], code=child.returncode,
                  log=log.decode(errors="replace")[-12000:])


# ---- the guest, as the user: the scenarios ----------------------------------------------------

class Wire:
    """The host's end, as the scenario sees it: adapters and what the boards received."""

    def __init__(self, fd):
        self.line = Line(fd)

    def ask(self, kind, **details):
        self.line.send(ask=kind, **details)
        reply = self.line.receive(60, "the host's answer to " + kind)
        if "error" in reply:
            raise ScenarioError("the host: " + reply["error"])
        return reply["reply"]

    def adapters(self, wanted):
        """Makes exactly these (adapter, board) pairs plugged in, in this order, each one seen
        by udev (its by-id link, its node root:dialout 0660) before the next."""
        plugged = self.ask("plugged")
        for adapter, board in plugged.items():
            if (adapter, board) not in wanted:
                self.unplug(adapter)
        for adapter, board in wanted:
            if plugged.get(adapter) != board:
                self.plug(adapter, board)

    def plug(self, adapter, board):
        self.ask("plug", adapter=adapter, board=board)
        link = BY_ID % ADAPTERS[adapter]
        poll(lambda: os.path.exists(link) and usable(os.path.realpath(link)), 15,
             "udev's link and permissions for " + link)

    def unplug(self, adapter):
        self.ask("unplug", adapter=adapter)
        link = BY_ID % ADAPTERS[adapter]
        poll(lambda: not os.path.lexists(link), 15, "udev to remove " + link)


class RemoteBoard:
    """A board of the host as the guest's scenarios see it, asked over the line: the same
    questions as of a board of the session's own."""

    def __init__(self, wire, name):
        self.wire, self.name = wire, name

    def commands(self):
        return [tuple(command) for command in self.wire.ask("commands", board=self.name)]

    def count(self):
        return len(self.commands())

    def wait_until(self, condition, timeout, what):
        return poll(lambda: (lambda got: condition(got) and got)(self.commands()), timeout,
                    "%s at board %s" % (what, self.name), interval=0.1)

    def wait_for_count(self, count, timeout=20.0):
        return self.wait_until(lambda got: len(got) >= count, timeout, "%d commands" % count)

    def stop(self):
        """The host's to end."""


def usable(node):
    info = os.stat(node)
    return info.st_gid == grp.getgrnam("dialout").gr_gid and info.st_mode & 0o777 == 0o660


def panel_state(s):
    """What the panel holds and does, for a failure's log."""
    pid = s.panel.pid
    try:
        fds = sorted(os.readlink("/proc/%d/fd/%s" % (pid, fd)) for fd in os.listdir(
            "/proc/%d/fd" % pid))
        with open("/proc/%d/wchan" % pid) as wchan:
            waits = wchan.read()
        boxes = [box.text for box in s.window.message_boxes()]
        return ("holds %s, waits in %s, has taken %.2f s of processor time, shows the messages "
                "%r" % ([fd for fd in fds if fd.startswith("/dev/")], waits, cpu_seconds(pid),
                        boxes))
    except Exception as error:  # noqa: BLE001 - the failure itself matters more
        return "could not be looked at: %r" % (error,)


class LabStage(Stage):
    """The panel as a user starts it in the guest: no device named, so it looks for adapters
    itself; the boards are the host's."""

    find_timeout = 60.0  # under an emulator

    def __init__(self, panel, wire):
        super().__init__(panel, None, "/tmp")
        self.wire = wire

    def name_ports(self, devices):
        return {}

    def boards(self, session):
        return {name: RemoteBoard(self.wire, name) for name in BOARDS}


class Scenarios:
    def __init__(self, wire):
        self.wire = wire

    def opened(self, s, node, timeout=15):
        poll(lambda: s.holds_open(node), timeout, "the panel to hold %s open" % node)

    def plugged_and_taken_up(self, s, adapter, board, node):
        self.wire.plug(adapter, board)
        seen = time.monotonic()
        self.opened(s, node)
        figure("%s taken up %.2f s after udev's link and permissions", node,
               time.monotonic() - seen)

    def idle(self, s, when):
        used = s.processor_time(2.0)
        figure("processor time of the panel %s: %.0f ms in 2 s", when, 1000 * used)
        check(used <= IDLE_SECONDS, "the panel spins %s: %.2f s in 2 s" % (when, used))

    # -- the table's rows --

    def start_up(self, s):
        # Present at boot: udev made its link before anything was plugged in or out.
        equal(sorted(os.listdir("/dev/serial/by-id")),
              ["usb-QEMU_QEMU_USB_SERIAL_A10K0001-if00-port0"], "by-id")
        equal(s.boards["A"].wait_for_count(16), START_UP, "start-up at the adapter's board")
        self.opened(s, "/dev/ttyUSB0")
        lock = serial_lock_file(BY_ID % ADAPTERS["A"])
        equal(lock and os.path.basename(lock), "LCK..ttyUSB0", "lock file")
        s.assert_no_message()
        self.idle(s, "idle, its adapter open")
        equal(s.fence(s.boards["A"]), START_UP, "commands at board A")
        equal(s.boards["uart"].commands(), [], "commands at the UART's board")

    def move_and_playback(self, s):
        board = s.boards["A"]
        board.wait_for_count(16)
        s.click_slider(0, "down arrow")
        equal(board.wait_for_count(17)[16:], [(0, 128)], "the move")
        s.wait_text(FIELD % 0, " 128")
        s.click("Save Pos")
        s.wait_text("Next step", "2")
        # Opened anew: the board's echoes of the commands so far are dropped.
        s.choose_menu(*COM1_ITEM)
        self.opened(s, "/dev/ttyUSB0")
        s.click("Playback")
        tries = []
        for _ in range(8):
            tries.append(s.wait_for_message(timeout=30))
            s.dismiss_message()
        equal(tries, ["1"] * 8, "tries per channel")
        s.wait_text("Next step", "2")
        s.assert_no_message()
        played = [(0, 128)] + [(k, 127) for k in range(1, 8)]
        equal(s.fence(board), START_UP + [(0, 128)] + played, "commands at board A")

    def unplug_idle_and_plug_again(self, s):
        s.boards["A"].wait_for_count(16)
        self.opened(s, "/dev/ttyUSB0")
        self.wire.unplug("A")
        equal(s.wait_for_message(timeout=30), LOST, "the message")
        s.dismiss_message()
        s.assert_no_message(1.0)
        check(not s.holds_open("/dev/ttyUSB0"), "the lost device is still open")
        self.idle(s, "in the 2 s after the unplug")
        self.plugged_and_taken_up(s, "A", "A", "/dev/ttyUSB0")
        equal(os.path.realpath(BY_ID % ADAPTERS["A"]), "/dev/ttyUSB0", "the node again")
        s.assert_no_message(1.0)
        s.click_slider(3, "up arrow")
        equal(s.boards["A"].wait_for_count(17), START_UP + [(3, 126)], "after the plug")

    def unplug_during_handshake(self, s):
        s.boards["quiet"].wait_for_count(16)
        s.click("Save Pos")
        s.wait_text("Next step", "2")
        s.click("Playback")
        s.boards["quiet"].wait_for_count(16 + 3)
        self.wire.unplug("A")
        # The loss, then the playback's own failure: its tries find no port and end at once.
        messages = []
        for _ in range(2):
            messages.append(s.wait_for_message(timeout=30))
            s.dismiss_message()
        equal(messages, [LOST, "Communications problem encountered"], "messages")
        s.assert_no_message(1.0)
        s.wait_text("Next step", "2")
        self.idle(s, "in the 2 s after the failed playback")

    def unplug_during_drag(self, s):
        s.boards["A"].wait_for_count(16)
        x, y, w, h = s.window.rect(SLIDER % 2)
        x, y = x + w // 2, y + h // 2
        s.input.path([(x, y + k) for k in range(0, 40)], press=True)
        # The window system merges moves that queue up while the panel is busy: one command at
        # least, and the button still held, is the middle of a drag.
        s.boards["A"].wait_for_count(17)
        self.wire.unplug("A")
        s.input.path([(x, y + k) for k in range(40, 80)], release=True)
        equal(s.wait_for_message(timeout=30), LOST, "the message")
        s.dismiss_message()
        s.assert_no_message(1.0)
        check(not s.holds_open("/dev/ttyUSB0"), "the lost device is still open")
        self.idle(s, "in the 2 s after the drag's unplug")

    def no_adapter_at_start_up(self, s):
        equal(s.boards["uart"].wait_for_count(16), START_UP, "start-up at the UART")
        self.opened(s, "/dev/ttyS0")
        s.assert_no_message()
        self.plugged_and_taken_up(s, "A", "A", "/dev/ttyUSB0")
        check(not s.holds_open("/dev/ttyS0"), "the UART is still open")
        s.assert_no_message(1.0)
        s.click_slider(6, "up arrow")
        equal(s.boards["A"].wait_for_count(1), [(6, 126)], "at the adapter")
        equal(s.boards["uart"].commands(), START_UP, "at the UART")

    def two_adapters(self, s):
        equal(sorted(os.listdir("/dev/serial/by-id")),
              ["usb-QEMU_QEMU_USB_SERIAL_A10K0001-if00-port0",
               "usb-QEMU_QEMU_USB_SERIAL_B20K0002-if00-port0"], "by-id")
        equal(s.boards["A"].wait_for_count(16), START_UP, "start-up at COM1")
        s.choose_menu(*COM2_ITEM)
        self.opened(s, "/dev/ttyUSB1")
        s.click_slider(4, "up arrow")
        equal(s.boards["B"].wait_for_count(1), [(4, 126)], "at COM2")
        s.choose_menu(*COM1_ITEM)
        self.opened(s, "/dev/ttyUSB0")
        self.wire.unplug("B")
        s.assert_no_message(1.5)
        s.click_slider(5, "up arrow")
        equal(s.boards["A"].wait_for_count(17), START_UP + [(5, 126)], "at COM1")

    def exit_after_drag(self, s):
        board = s.boards["A"]
        board.wait_for_count(16)
        lock = serial_lock_file(BY_ID % ADAPTERS["A"])
        x, y, w, h = s.window.rect(SLIDER % 2)
        x, y = x + w // 2, y + h // 2
        s.input.path([(x, y + k) for k in range(0, 60)], press=True, release=True)
        # Exit as soon as the drag has been handled: QEMU's adapter leaves no backlog, so what
        # is timed is the close and the end of the program, not the drag's events.
        final = poll(lambda: s.window.value(SLIDER % 2) > 127 and s.window.value(SLIDER % 2), 20,
                     "the drag's end")
        poll(lambda: board.commands()[-1] == (2, final), 20, "the drag's last command")
        s.input.move(*centre(s.window.rect("Exit")))
        clicked = s.input.click_now()
        closed = poll(lambda: not os.path.exists(lock) and time.monotonic(), 10, "the port closed",
                      interval=0.005)
        equal(s.wait_for_exit(), 0, "exit code")
        ended = time.monotonic()
        figure("Exit after a fast drag: the port closed %.0f ms and the panel ended %.0f ms "
               "after the click (target 0.5 s: %s)", 1000 * (closed - clicked),
               1000 * (ended - clicked), "met" if ended - clicked <= 0.5 else "MISSED")
        # The 0.5 s is a target, printed: under an emulator on a busy machine the port closed
        # 0.14-0.21 s after the click (0.1 s of it the close's bound, as QEMU's adapter never
        # reports its transmitter empty), but the program's end took 0.36-1.2 s. What fails here
        # is a close that waits for the line or for the transmitter (the driver's 30 s, or for
        # ever on QEMU's adapter).
        check(closed - clicked <= 3.0, "the port closed %.2f s after Exit" % (closed - clicked))
        check(ended - clicked <= 5.0, "the panel ended %.2f s after Exit" % (ended - clicked))
        check(lock and not os.path.exists(lock), "lock file left behind")


# name, adapters plugged in (adapter, board behind it) when the panel starts, scenario
TABLE = [
    ("start_up", [("A", "A")], Scenarios.start_up),
    ("move_and_playback", [("A", "A")], Scenarios.move_and_playback),
    ("unplug_idle_and_plug_again", [("A", "A")], Scenarios.unplug_idle_and_plug_again),
    ("unplug_during_handshake", [("A", "quiet")], Scenarios.unplug_during_handshake),
    ("unplug_during_drag", [("A", "A")], Scenarios.unplug_during_drag),
    ("no_adapter_at_start_up", [], Scenarios.no_adapter_at_start_up),
    ("two_adapters", [("A", "A"), ("B", "B")], Scenarios.two_adapters),
    ("exit_after_drag", [("A", "A")], Scenarios.exit_after_drag),
]


def run_guest(name, fd, panel):
    wire = Wire(fd)
    _, adapters, scenario = next(row for row in TABLE if row[0] == name)
    wire.adapters(adapters)
    started = time.monotonic()
    with Session(LabStage(panel, wire), name, boards={}) as s:
        try:
            scenario(Scenarios(wire), s)
        except Exception:
            print("after %.1f s; the panel %s" % (time.monotonic() - started, panel_state(s)))
            raise
    figure("the panel's part took %.1f s", time.monotonic() - started)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--list", action="store_true", help="print the scenarios' names")
    parser.add_argument("--serve", action="store_true")
    parser.add_argument("--guest", metavar="NAME")
    parser.add_argument("--fd", type=int)
    for option in ("root", "kernel", "initrd", "tests", "board", "panel", "user", "work"):
        parser.add_argument("--" + option)
    parser.add_argument("--verbose", action="store_true", help="print every scenario's log")
    parser.add_argument("scenarios", nargs="*")
    args = parser.parse_args()
    names = [row[0] for row in TABLE]
    if args.list:
        print("\n".join(names))
        return 0
    if args.serve:
        serve()
        return 0
    if args.guest:
        try:
            return run_guest(args.guest, args.fd, args.panel)
        except ScenarioError as error:
            print("FAILED:", error)
            return 1
    unknown = sorted(set(args.scenarios) - set(names))
    if unknown:
        parser.error("no scenario %s; there are: %s" % (", ".join(unknown), ", ".join(names)))
    return run_host(args, args.scenarios or names)


if __name__ == "__main__":
    sys.exit(main())
