#!/usr/bin/env python3
"""Start-up time and memory of the real panel, in a real X server with the simulated board.

For each run: the time from starting the program to its window being mapped, the time until the
board has received all 16 start-up commands (48 bytes), and the panel's peak resident memory
(VmHWM) after start-up and after 500 slider moves. Prints figures; asserts nothing.

usage: startup_bench.py BUILD_DIR [RUNS]
"""

import os
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


def window_mapped(display):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Tolvane$"],
                           env=dict(os.environ, DISPLAY=display), capture_output=True, text=True)
    return found.stdout.split()[0] if found.returncode == 0 and found.stdout.strip() else None


def one_run(build, display, workdir):
    link = os.path.join(workdir, "COM1")
    board = subprocess.Popen([os.path.join(build, "tools", "tolvane-board"), "--link", link],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        out = board.stdout.fileno()
        wait_for(lambda: select.select([out], [], [], 0.01)[0], 5)  # the device line
        os.read(out, 4096)
        env = dict(os.environ, DISPLAY=display, TOLVANE_COM1=link, QT_QPA_PLATFORM="xcb")
        started = time.monotonic()
        panel = subprocess.Popen([os.path.join(build, "src", "app", "tolvane")], env=env)
        commands = 0
        commands_at = None
        shown_at = None
        window = None
        while commands_at is None or shown_at is None:
            if time.monotonic() - started > 30:
                raise TimeoutError("panel did not start: shown %s, %d commands" % (shown_at, commands))
            if shown_at is None:
                window = window_mapped(display)
                if window:
                    shown_at = time.monotonic()
            while select.select([out], [], [], 0)[0]:
                chunk = os.read(out, 4096)
                if not chunk:
                    break
                commands += chunk.count(b"command ")
                if commands >= 16 and commands_at is None:
                    commands_at = time.monotonic()
        time.sleep(0.5)
        rss_start = peak_rss_kib(panel.pid)
        # 500 moves: arrow clicks on the first slider, alternately down and up.
        xenv = dict(os.environ, DISPLAY=display)
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], env=xenv,
                                  capture_output=True, text=True).stdout
        values = dict(line.split("=") for line in geometry.split())
        x = int(values["X"]) + 24
        top = int(values["Y"]) + int(values["HEIGHT"]) - 438 + 48
        for i in range(250):
            subprocess.run(["xdotool", "mousemove", str(x), str(top + 246), "click", "1",
                            "mousemove", str(x), str(top + 3), "click", "1"], env=xenv)
        time.sleep(0.5)
        rss_moves = peak_rss_kib(panel.pid)
        panel.terminate()
        panel.wait(5)
        return shown_at - started, commands_at - started, rss_start, rss_moves
    finally:
        board.terminate()
        board.wait(5)


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
    print("peak resident memory:      %.1f MB after start-up, %.1f MB after 500 moves "
          "(target: under 60 MB)"
          % (max(r[2] for r in results) / 1024, max(r[3] for r in results) / 1024))


if __name__ == "__main__":
    main()
