#!/usr/bin/env python3
"""Start-up time and memory of the real panel, in a real X server with the simulated board.

For each run: the time from starting the program to its window being mapped (as the X server
reports it to a watcher started beforehand, so no process is started while timing), the time
until the board has received all 16 start-up commands (48 bytes), and the panel's peak resident
memory (VmHWM) after start-up and after 500 slider moves, counted as commands at the board.
Prints figures; asserts nothing.

usage: startup_bench.py BUILD_DIR [RUNS]
"""

import os
import re
import select
import statistics
import subprocess
import sys
import tempfile
import time


def wait_for(predicate, timeout, step=0.001):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    raise TimeoutError("gave up waiting")


def start_xvfb():
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                             "-dpi", "96", "-nolisten", "tcp"], pass_fds=(write_end,),
                            stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            raise RuntimeError("Xvfb did not start")
        number += chunk
    os.close(read_end)
    return xvfb, ":" + number.decode().strip()


def peak_rss_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


# The watcher's report of a top-level window being mapped, and the window.
MAPPED = re.compile(rb"MapNotify event[^\n]*\n\s*event \S+ window (0x[0-9a-f]+), override NO")


def read_commands(out, wait):
    """How many commands the board has printed since the last call, waiting at most `wait`."""
    count = 0
    while select.select([out], [], [], wait)[0]:
        chunk = os.read(out, 65536)
        if not chunk:
            break
        count += chunk.count(b"command ")
        wait = 0
    return count


def one_run(build, display, workdir):
    link = os.path.join(workdir, "COM1")
    xenv = dict(os.environ, DISPLAY=display)
    board = subprocess.Popen([os.path.join(build, "board", "tolvane-board"), "--link", link],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    watcher = subprocess.Popen(["xev", "-root", "-event", "substructure"], env=xenv,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    panel = None
    try:
        out, events = board.stdout.fileno(), watcher.stdout.fileno()
        wait_for(lambda: select.select([out], [], [], 0.01)[0], 5)  # the device line
        os.read(out, 4096)
        time.sleep(0.3)  # the watcher has chosen its events by now
        env = dict(xenv, TOLVANE_COM1=link, QT_QPA_PLATFORM="xcb")
        started = time.monotonic()
        panel = subprocess.Popen([os.path.join(build, "src", "app", "tolvane")], env=env)
        commands, commands_at, shown_at, window, seen = 0, None, None, None, b""
        while commands_at is None or shown_at is None:
            if time.monotonic() - started > 30:
                raise TimeoutError("panel did not start: shown %s, %d commands" % (shown_at, commands))
            ready = select.select([out, events], [], [], 1)[0]
            now = time.monotonic()
            if events in ready and shown_at is None:
                seen += os.read(events, 65536)
                mapped = MAPPED.search(seen)
                if mapped:
                    shown_at, window = now, mapped.group(1).decode()
            if out in ready:
                commands += read_commands(out, 0)
                if commands >= 16 and commands_at is None:
                    commands_at = now
        time.sleep(0.5)
        rss_start = peak_rss_kib(panel.pid)
        # 500 moves in one xdotool: arrow clicks on the first slider, alternately down and up.
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(int(window, 16))],
                                  env=xenv, capture_output=True, text=True, check=True).stdout
        values = dict(line.split("=") for line in geometry.split())
        x = int(values["X"]) + 32
        top = int(values["Y"]) + int(values["HEIGHT"]) - 438 + 48
        clicks = []
        for _ in range(250):
            clicks += ["mousemove", x, top + 246, "click", 1, "mousemove", x, top + 3, "click", 1]
        subprocess.run(["xdotool", *map(str, clicks)], env=xenv, check=True)
        deadline = time.monotonic() + 10
        moves = read_commands(out, 0.2) + commands - 16
        while moves < 500 and time.monotonic() < deadline:
            moves += read_commands(out, 0.2)
        rss_moves = peak_rss_kib(panel.pid)
        return shown_at - started, commands_at - started, rss_start, rss_moves, moves
    finally:
        for process in (panel, watcher, board):
            if process:
                process.terminate()
                process.wait(5)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    xvfb, display = start_xvfb()
    try:
        with tempfile.TemporaryDirectory() as workdir:
            results = [one_run(build, display, workdir) for _ in range(runs)]
    finally:
        xvfb.terminate()
        xvfb.wait(5)
    shown = [r[0] * 1000 for r in results]
    sent = [r[1] * 1000 for r in results]
    print("runs: %d" % runs)
    print("window shown after:        median %.0f ms, max %.0f ms (target: within 300 ms)"
          % (statistics.median(shown), max(shown)))
    print("48 start-up bytes after:   median %.0f ms, max %.0f ms"
          % (statistics.median(sent), max(sent)))
    print("peak resident memory:      %.1f MB after start-up, %.1f MB after the moves "
          "(target: under 60 MB)"
          % (max(r[2] for r in results) / 1024, max(r[3] for r in results) / 1024))
    print("moves the board received:  %s of 500 in each run"
          % ", ".join(str(r[4]) for r in results))


if __name__ == "__main__":
    main()
