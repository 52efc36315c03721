#!/usr/bin/env python3
"""End-to-end tests: the built panel in a real X window, driven with mouse and keyboard, on the
simulated board; the window read over the accessibility bus (tests/harness).

    panel_e2e.py --panel PATH --board PATH [--artifacts DIR] [NAME ...]

With no NAME, runs every scenario, each in a process of its own (a process talks to one
accessibility bus only). Exits 77 when Xvfb or xdotool is missing, so ctest reports a skip; with
the environment variable CI set, that fails instead.
"""

import argparse
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from harness.boards import serial_lock_file  # noqa: E402
from harness.checks import (  # noqa: E402
    FAILED, SKIPPED, ScenarioError, check, equal, figure, poll, run_table)
from harness.panel import (  # noqa: E402
    CENTER, COM1_ITEM, COM2_ITEM, FIELD, FRAME, SLIDER, START_UP, Layout, slider_point)
from harness.session import Session, Stage  # noqa: E402
from harness.x11 import missing_tools  # noqa: E402

SKIP = 77
HORN_BLUE = (0x1F, 0x5F, 0xA8)  # the board's window draws each servo's horn in it

# Accessible roles by the names they have on Debian 12 and on Debian 13. Debian 13's accessibility
# library calls the push button role "button"; Qt 6.8 gives a plain QFrame (a channel's box) the
# panel role where Qt 6.4 gives it the frame role.
BUTTON, BOX = ("push button", "button"), ("frame", "panel")
TEXT, SCROLL_BAR, LABEL = ("text",), ("scroll bar",), ("label",)


def slider_moves(sliders, step):
    """The commands that moving the sliders to a played step sends: one for each slider whose
    value changes, in channel order. Updates sliders."""
    commands = []
    for channel, position in enumerate(step):
        if sliders[channel] != position:
            sliders[channel] = position
            commands.append((channel, position))
    return commands


class PanelScenarios:
    """The end-to-end table; each scenario runs one panel on its stage, on its own boards."""

    NAMES = ["start_up", "slider_clicks_fusion", "slider_clicks_windows", "thumb_drag", "center",
             "com2_present", "com2_from_the_keyboard", "com2_absent", "com1_missing_at_start_up",
             "save_and_playback_echo", "playback_silent_board", "exit", "sigterm_during_hold",
             "board_window"]

    def __init__(self, stage):
        self.stage = stage

    def session(self, name, **options):
        return Session(self.stage, name, **options)

    def artifact(self, name):
        return os.path.join(self.stage.artifacts, name)

    # ---- start-up -------------------------------------------------------------------------

    def start_up(self):
        with self.session("start_up") as s:
            board = s.boards[1]
            equal(board.wait_for_count(16)[:16], START_UP, "start-up commands")
            for k in range(8):
                equal(s.window.text(FIELD % k), " 127", FIELD % k)
                equal(s.window.value(SLIDER % k), 127, SLIDER % k)
            equal(s.window.text("Next step"), "1", "Next step")
            equal(s.window.text("Playback delay in seconds"), "1", "the delay")
            equal(s.window.value("Playback speed"), 0, "the delay slider")
            # Every control reaches the accessibility bus with its name and role, as one of the
            # names that the supported versions give that role.
            roles = {"Exit": BUTTON, "Save Pos": BUTTON, "Playback": BUTTON,
                     "Next step": TEXT, "Playback delay in seconds": TEXT,
                     "Playback speed": SCROLL_BAR, "Playback Speed": LABEL}
            for k in range(8):
                roles.update({SLIDER % k: SCROLL_BAR, CENTER % k: BUTTON,
                              FIELD % k: TEXT, FRAME % k: BOX})
            shown = s.window.roles()
            equal(sorted(shown), sorted(roles), "accessible names")
            equal({name: role for name, role in shown.items() if role not in roles[name]}, {},
                  "controls of another role")
            # Each sits where window_layout.h puts it, which the stages that cannot ask the
            # window (Wine) click by.
            layout, (cx, cy, cw, ch) = Layout(), s.window.client_rect()
            equal((cw, ch), layout.client_size, "the client area's size")
            placed = {name: (x - cx, y - cy, w, h) for name, (x, y, w, h) in
                      ((name, s.window.rect(name)) for name in roles)}
            equal({name: (placed[name], layout.rect(name)) for name in roles
                   if placed[name] != layout.rect(name)}, {},
                  "controls away from window_layout.h's place (name: (shown, laid out))")
            s.assert_no_message()

            rect, image = s.window_image()
            image.save_png(self.artifact("startup.png"))
            self.check_field_colours(s, rect, image)

            # Nothing but the sixteen commands: 48 bytes.
            equal(s.fence(board), START_UP, "commands before the fence")

    def check_field_colours(self, s, window, image):
        """Green text on black in the fields, on dark red in the last channel's, as drawn."""
        for field, background in [(FIELD % 0, (0, 0, 0)), (FIELD % 3, (0, 0, 0)),
                                  (FIELD % 7, (64, 0, 0)), ("Next step", (0, 0, 0))]:
            x, y, w, h = s.window.rect(field)
            colours = image.crop((x - window[0] + 3, y - window[1] + 3, w - 6, h - 6)).colours()
            equal(colours.most_common(1)[0][0], background, "background of " + field)
            green = sum(n for p, n in colours.items() if p[1] >= 192 and p[0] <= 64 and p[2] <= 64)
            check(green > 5, "green text in %s: %d pixels" % (field, green))

    # ---- sliders --------------------------------------------------------------------------

    def run_slider_clicks(self, style):
        # (channel, where on its slider the click goes, value afterwards); each click moves by
        # exactly 1, and a click in the track far from the thumb must not jump there.
        cases = [
            (0, "up arrow", 126),
            (0, "up arrow", 125),
            (0, "down arrow", 126),
            (2, "down arrow", 128),
            (3, "track above thumb", 126),
            (3, "track below thumb", 127),
            (3, "track below thumb", 128),
            (5, "track below thumb", 128),
            (5, "track above thumb", 127),
        ]
        with self.session("slider_clicks_" + style.lower(), style=style) as s:
            board = s.boards[1]
            board.wait_for_count(16)
            expected = []
            for channel, where, value in cases:
                case = "channel %d %s" % (channel, where)
                s.click_slider(channel, where)
                expected.append((channel, value))
                got = board.wait_for_count(16 + len(expected))[16:]
                equal(got[-1], (channel, value), case)
                s.wait_text(FIELD % channel, " %d" % value)
                equal(s.window.value(SLIDER % channel), value, case)
            equal(s.fence(board), START_UP + expected, "commands before the fence")
            s.save_screenshot(self.artifact("slider-clicks-%s.png" % style),
                              s.window.window_rect())

    def slider_clicks_fusion(self):
        self.run_slider_clicks("Fusion")

    def slider_clicks_windows(self):
        self.run_slider_clicks("Windows")

    def thumb_drag(self):
        with self.session("thumb_drag") as s:
            board = s.boards[1]
            board.wait_for_count(16)
            x, y = slider_point(s.window.rect(SLIDER % 2), "centred thumb")
            # Pointer positions while the button is held on the thumb, and what each must give:
            # "more" than the command before, or an end of the range.
            moves = [(y + 8, "more"), (y + 16, "more"), (y + 30, "more"), (y + 400, 254),
                     (0, 1), (y - 20, "more"), (y + 40, "more")]
            s.input.press(x, y)
            sent = []
            try:
                for target, expect in moves:
                    s.input.move(x, target)
                    commands = board.wait_for_count(16 + len(sent) + 1)
                    channel, position = commands[-1]
                    equal(channel, 2, "the dragged channel")
                    previous = sent[-1][1] if sent else 127
                    if expect == "more":
                        check(position > previous, "moved to %d after %d" % (position, previous))
                    else:
                        equal(position, expect, "the end of the range")
                    sent.append(commands[-1])
            finally:
                s.input.release()
            final = sent[-1][1]
            check(final > 127, "the drag ends at %d" % final)
            s.wait_text(FIELD % 2, " %d" % final)
            equal(s.window.value(SLIDER % 2), final, "the slider after the drag")
            # One command per reported move, none at the release.
            equal(s.fence(board), START_UP + sent, "commands before the fence")

    # ---- Center ---------------------------------------------------------------------------

    def center(self):
        with self.session("center") as s:
            board = s.boards[1]
            board.wait_for_count(16)
            s.click_slider(1, "down arrow")
            s.click_slider(1, "down arrow")
            board.wait_for_count(18)
            s.wait_text(FIELD % 1, " 129")
            # (button, commands it must send): twice for a moved slider, once for a centred one.
            cases = [(CENTER % 1, [(1, 127), (1, 127)]), (CENTER % 4, [(4, 127)]),
                     (CENTER % 1, [(1, 127)])]
            expected = START_UP + [(1, 128), (1, 129)]
            for button, commands in cases:
                s.click(button)
                expected += commands
                board.wait_for_count(len(expected))
                channel = commands[0][0]
                s.wait_text(FIELD % channel, " 127")
                equal(s.window.value(SLIDER % channel), 127, button)
                equal(s.fence(board), expected, button)
                expected.append(board.commands()[-1])  # the fence's own command

    # ---- the port menu --------------------------------------------------------------------

    def com2_present(self):
        with self.session("com2_present", boards={1: (), 2: ()}) as s:
            com1, com2 = s.boards[1], s.boards[2]
            com1.wait_for_count(16)
            poll(lambda: s.holds_open(s.device_paths[1]), 10, "COM1 open")
            s.choose_menu(*COM2_ITEM)
            poll(lambda: s.holds_open(s.device_paths[2]), 10, "COM2 open")
            check(not s.holds_open(s.device_paths[1]), "COM1 still open")
            s.click_slider(4, "up arrow")
            equal(com2.wait_for_count(1), [(4, 126)], "at COM2")
            s.assert_no_message()
            equal(s.fence(com2), [(4, 126)], "at COM2 before the fence")
            equal(com1.commands(), START_UP, "at COM1")

    def com2_from_the_keyboard(self):
        with self.session("com2_from_the_keyboard", boards={1: (), 2: ()}) as s:
            self.choose_com2_by_keys(s, "F10")

    def choose_com2_by_keys(self, s, title_key):
        """Chooses COM2 from the menu with keys alone, starting with the key that selects the
        menu bar's title (F10, Alt); checks that the link moved to COM2."""
        s.boards[1].wait_for_count(16)
        poll(lambda: s.holds_open(s.device_paths[1]), 10, "COM1 open")
        s.click("Playback Speed")  # the label: makes the window active, as a desktop would
        # Qt's Wayland plugin takes the window for active a round trip after the compositor does;
        # a key before that reaches the focused control but not the window's shortcuts (F10).
        poll(s.window.active, 10, "the window active")
        # The key alone selects the title and opens nothing, a second later; Down opens it on its
        # first item.
        s.input.key(title_key)
        s.assert_no_message()
        check(s.shown_menu_item(*COM2_ITEM) is None, "%s opened the menu" % title_key)
        s.input.key("Down")
        poll(lambda: s.shown_menu_item(*COM2_ITEM), 10, "the port menu open")
        s.input.key("Down")
        s.input.key("Return")
        poll(lambda: s.holds_open(s.device_paths[2]), 10, "COM2 open")
        check(not s.holds_open(s.device_paths[1]), "COM1 still open")
        s.assert_no_message()

    def com2_absent(self):
        with self.session("com2_absent", boards={1: ()}) as s:
            com1 = s.boards[1]
            com1.wait_for_count(16)
            s.choose_menu(*COM2_ITEM)
            equal(s.wait_for_message(), "Invalid port - will use Port 1 instead", "the message")
            # COM1 is open again while the message shows.
            check(s.holds_open(s.device_paths[1]), "COM1 closed while the message shows")
            s.dismiss_message("Return")
            s.click_slider(4, "up arrow")
            equal(s.fence(com1), START_UP + [(4, 126)], "at COM1")
            s.assert_no_message()

    def com1_missing_at_start_up(self):
        with self.session("com1_missing_at_start_up", boards={}) as s:
            text = s.wait_for_message()
            check(text.startswith("COM1 (%s) cannot be opened" % s.device_paths[1]), text)
            s.dismiss_message("space")
            for k in range(8):
                equal(s.window.text(FIELD % k), " 127", FIELD % k)
            # The sliders still work on screen; commands are dropped without a message.
            s.click_slider(0, "down arrow")
            s.wait_text(FIELD % 0, " 128")
            s.assert_no_message()
            check(s.panel.running(), "the panel ended")

    # ---- Save Pos and Playback ------------------------------------------------------------

    def save_and_playback_echo(self):
        with self.session("save_and_playback_echo") as s:
            board = s.boards[1]
            board.wait_for_count(16)
            steps = []
            # (actions, commands they send) before each Save Pos; the sliders then stand at the
            # positions to be recorded.
            poses = [
                ([(0, "down arrow"), (0, "down arrow"), (3, "track above thumb")],
                 [(0, 128), (0, 129), (3, 126)], [129, 127, 127, 126, 127, 127, 127, 127]),
                ([(0, None), (7, "down arrow")],
                 [(0, 127), (0, 127), (7, 128)], [127, 127, 127, 126, 127, 127, 127, 128]),
            ]
            expected = list(START_UP)
            for number, (actions, commands, positions) in enumerate(poses, start=1):
                for control, where in actions:
                    if where:
                        s.click_slider(control, where)
                    else:
                        s.click(CENTER % control)
                expected += commands
                equal(board.wait_for_count(len(expected)), expected, "pose %d" % number)
                s.wait_text(FIELD % 7, " %d" % positions[7])
                s.click("Save Pos")
                s.wait_text("Next step", str(number + 1))
                steps.append(positions)
            # Move one slider away from both steps, so that playing step 1 moves it back.
            s.click_slider(5, "up arrow")
            expected.append((5, 126))
            equal(board.wait_for_count(len(expected)), expected, "the move of channel 5")
            sliders = [s.window.value(SLIDER % k) for k in range(8)]
            equal(sliders, [127, 127, 127, 126, 127, 126, 127, 128], "the sliders")

            # Opening the port anew drops the echoes waiting so far: in the first step the board
            # then answers each try before the next one.
            s.choose_menu(*COM1_ITEM)
            s.click("Playback")
            boxes = []
            for number, positions in enumerate(steps, start=1):
                for channel, position in enumerate(positions):
                    boxes.append(s.wait_for_message())
                    where = "step %d channel %d" % (number, channel)
                    equal(s.window.text("Next step"), str(number), where)
                    equal(s.window.text(FIELD % channel), str(position), where)
                    s.dismiss_message("Return" if len(boxes) % 2 else "space")
            figure("try counts shown: %s", " ".join(boxes))
            s.wait_text("Next step", "3", timeout=30)
            s.assert_no_message()
            # Each channel's tries are the run of its command at the board; the slider moves
            # follow each step.
            commands, at, tries = s.fence(board), len(expected), []
            for positions in steps:
                for channel, position in enumerate(positions):
                    first = at
                    while at < len(commands) and commands[at] == (channel, position):
                        at += 1
                    tries.append(str(at - first))
                moves = slider_moves(sliders, positions)
                equal(commands[at:at + len(moves)], moves, "slider moves")
                at += len(moves)
            equal(commands[at:], [], "sent after the playback")
            equal(boxes, tries, "try counts shown against the board's")
            equal(tries[:8], ["1"] * 8, "tries in the first step")
            equal([s.window.text(FIELD % k) for k in range(7)],
                  [" 127", "127", "127", "126", "127", "127", "127"], "the fields")
            # Channel 7 has moved on with the fence; the sliders stand at the last step.
            equal([s.window.value(SLIDER % k) for k in range(7)], steps[-1][:7], "the sliders")

    def playback_silent_board(self):
        with self.session("playback_silent_board",
                          boards={1: ("--no-reply", "--baud", "2400", "--latency", "16")}) as s:
            board = s.boards[1]
            board.wait_for_count(16)
            s.click_slider(1, "down arrow")
            board.wait_for_count(17)
            s.wait_text(FIELD % 1, " 128")
            s.click("Save Pos")
            s.wait_text("Next step", "2")
            s.click_slider(1, "down arrow")
            board.wait_for_count(18)
            started = time.monotonic()
            s.click("Playback")
            board.wait_for_count(18 + 3)
            # While the handshake waits for the board, the window answers the accessibility bus:
            # every read comes back before the 200th try has gone out.
            answers = []
            for _ in range(10):
                asked = time.monotonic()
                equal(s.window.text("Next step"), "1", "Next step during the handshake")
                answers.append(time.monotonic() - asked)
                check(board.count() < 18 + 200, "answered only after the handshake")
            figure("the accessibility bus answered within %.0f ms at worst during the handshake",
                   1000 * max(answers))
            # A click through the window system is held back until the handshake has ended.
            s.click("Save Pos")
            check(board.count() < 18 + 200, "the click came after the handshake")
            # 200 tries of channel 0, the first waiting 107 ms and the others 41 ms.
            equal(s.wait_for_message(timeout=120), "Communications problem encountered",
                  "the message")
            figure("200 unanswered tries took %.1f s", time.monotonic() - started)
            # Save Pos would have shown the next step, 3.
            equal(s.window.text("Next step"), "1", "Save Pos ran during the handshake")
            commands = board.wait_for_count(18 + 200)
            equal(commands[18:], [(0, 127)] * 200, "the tries")
            s.dismiss_message("space")
            # The held click reached the window while the message box was up, and went the way
            # of every click on a window that a modal message box blocks: nothing was recorded.
            s.wait_text("Next step", "2")
            s.assert_no_message()
            # Channel 0 keeps the played text, channel 1 its own; no slider moved.
            equal(s.window.text(FIELD % 0), "127", FIELD % 0)
            equal(s.window.text(FIELD % 1), " 129", FIELD % 1)
            equal(s.window.value(SLIDER % 1), 129, SLIDER % 1)
            equal(s.fence(board)[18:], [(0, 127)] * 200, "the tries before the fence")

    # ---- Exit -----------------------------------------------------------------------------

    def exit(self):
        with self.session("exit") as s:
            s.boards[1].wait_for_count(16)
            device = s.device_paths[1]
            lock = serial_lock_file(device)
            check(s.holds_open(device), "COM1 not open")
            check(lock is not None, "no lock file while the port is open")
            s.click("Exit")
            equal(s.wait_for_exit(), 0, "exit code")
            # The port was closed, not abandoned: its lock file is gone.
            check(not os.path.exists(lock), "lock file left behind: " + lock)
            equal(s.boards[1].commands(), START_UP, "commands")

    def sigterm_during_hold(self):
        with self.session("sigterm_during_hold") as s:
            s.boards[1].wait_for_count(16)
            lock = serial_lock_file(s.device_paths[1])
            check(lock is not None, "no lock file while the port is open")
            x, y, w, h = s.window.rect("Playback speed")
            for _ in range(5):
                s.input.click(x + w - 5, y + h // 2)  # the right arrow: one second more
            s.wait_text("Playback delay in seconds", " 5")
            s.click("Save Pos")
            s.wait_text("Next step", "2")
            s.click("Playback")
            for _ in range(8):
                s.wait_for_message()
                s.dismiss_message()
            # The step shows while its hold of 5 s runs.
            equal(s.window.text("Next step"), "1", "Next step during the hold")
            s.panel.send_signal(signal.SIGTERM)
            equal(s.wait_for_exit(), 0, "exit code")
            check(not os.path.exists(lock), "lock file left behind: " + lock)

    # ---- the simulated board's window -----------------------------------------------------

    def board_window(self):
        with self.session("board_window", boards={1: ("--window", "--baud", "2400")}) as s:
            board = s.boards[1]
            board.wait_for_count(16)
            window, rect = poll(lambda: s.display.find_window("Tolvane board"), 15,
                                "one window titled 'Tolvane board'")

            def horns():
                """The horns' pixels once the window, raised over the panel's, stands still."""
                s.display.raise_window(window)

                def still():
                    first = s.display.capture(rect)
                    time.sleep(0.1)
                    return first.rgb == s.display.capture(rect).rgb and first
                image = poll(still, 10, "the board's window to stand still")
                return {(i % image.width, i // image.width)
                        for i, pixel in enumerate(image.pixels()) if pixel == HORN_BLUE}, image

            def drawn():
                points, image = horns()
                return len(points) > 8 * 40 and (points, image)  # eight bars of dozens of pixels
            before, image = poll(drawn, 15, "the eight horns drawn in the board's window")
            image.save_png(self.artifact("board-window.png"))
            check(len(image.colours()) > 16, "a window of a few flat colours")
            # Channel 0 to the end of its range: its horn turns from up to the right, no other.
            s.display.raise_window(s.display.find_window("Tolvane")[0])
            s.click("Playback Speed")  # the label: the keys go to the focused slider, channel 0's
            s.input.key("End")
            equal(board.wait_for_count(17)[16:], [(0, 254)], "the command of End")
            after = horns()[0]
            gone, came = before - after, after - before
            check(gone and came, "the horns did not move")

            def centre(points, axis):
                return sum(point[axis] for point in points) / len(points)
            check(centre(came, 0) > centre(gone, 0) + 5, "the horn did not turn right")
            check(centre(came, 1) > centre(gone, 1), "the horn did not turn down")
            spread = max(p[0] for p in gone | came) - min(p[0] for p in gone | came)
            check(spread < rect[2] // 3, "more than one dial changed: %d pixels apart" % spread)
            # Closing the window ends the board as a stop signal does: cleanly, link removed.
            s.display.request_close(window)
            equal(board.process.wait(timeout=10), 0, "the board's exit code")
            check(not os.path.lexists(board.link), "link left behind")


def main(scenarios=PanelScenarios, stage=Stage, title="end-to-end", artifacts="e2e-artifacts",
         missing=missing_tools, elsewhere=None, description=__doc__):
    """Runs a table's scenarios by name on its stage, each in a process of its own when more than
    one; `missing` names what no scenario can run without here, and `elsewhere(args, names)` may
    run them in another way (as another user), returning the exit status, or None."""
    parser = argparse.ArgumentParser(description=description,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--panel", help="the built tolvane")
    parser.add_argument("--board", help="the built tolvane-board")
    parser.add_argument("--artifacts", default=os.path.join(os.getcwd(), artifacts))
    parser.add_argument("--list", action="store_true", help="print the scenarios' names")
    parser.add_argument("--registered", metavar="NAMES",
                        help="comma-separated names that ctest runs: fails unless they are "
                             "exactly the scenarios of this file")
    parser.add_argument("--timed-outside", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    names = scenarios.NAMES
    if args.list:
        print("\n".join(names))
        return 0
    if args.registered is not None:
        return check_registered(title, names, args.registered.split(","))
    unknown = sorted(set(args.names) - set(names))
    if unknown:
        parser.error("no scenario %s; there are: %s" % (", ".join(unknown), ", ".join(names)))
    if not args.panel or not args.board:
        parser.error("--panel and --board are needed to run scenarios")
    lacking = missing()
    if lacking:
        ci = bool(os.environ.get("CI"))
        print("%s: not installed: %s (tools/install-deps.sh installs them)%s" % (
            "FAILED" if ci else "SKIPPED", ", ".join(lacking),
            "; CI is set, where the %s scenarios must run" % title if ci else ""))
        return 1 if ci else SKIP
    chosen = args.names or names
    code = elsewhere(args, chosen) if elsewhere else None
    if code is not None:
        return code
    os.makedirs(args.artifacts, exist_ok=True)
    if len(chosen) > 1:
        options = sys.argv[1:len(sys.argv) - len(args.names)]

        def in_own_process(name):
            code = subprocess.call([sys.executable, os.path.abspath(sys.argv[0]), *options,
                                    "--timed-outside", name])
            return {0: None, SKIP: SKIPPED}.get(code, FAILED)
        return run_table(title, chosen, in_own_process)
    table = scenarios(stage(os.path.abspath(args.panel), os.path.abspath(args.board),
                            os.path.abspath(args.artifacts)))
    return run_table(title, chosen, lambda name: getattr(table, name)(),
                     timed=not args.timed_outside)


def check_registered(title, names, registered):
    written = set(names)
    unregistered = sorted(written - set(registered))
    unknown = sorted(set(registered) - written)
    if unregistered or unknown:
        print("scenarios never run by ctest: %s; registered but not written: %s"
              % (unregistered or "none", unknown or "none"))
        return 1
    print("%d %s scenarios, all registered" % (len(written), title))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except ScenarioError as error:
        print("ERROR:", error)
        sys.exit(1)
