#!/usr/bin/env python3
"""End-to-end tests: the built panel in a real X window, driven with mouse and keyboard, on the
simulated board. See panel_harness.py for how the window is read and driven.

    panel_e2e.py --panel PATH --board PATH [--artifacts DIR] [TEST ...]

With no TEST, runs every test, each in a process of its own (a process talks to one
accessibility bus only). Exits 77 when Xvfb or xdotool is missing, so ctest reports a skip; with
the environment variable CI set, that fails instead.
"""

import argparse
import os
import signal
import subprocess
import sys
import time
import unittest

from panel_harness import (E2EError, Session, capture, find_window, missing_tools, poll,
                           request_close, serial_lock_file, write_png)

SKIP = 77
CONFIG = argparse.Namespace(panel=None, board=None, artifacts=None)

START_UP = [(channel, 127) for channel in range(8)] * 2
# Accessible names of the channel controls, e.g. SLIDER % 0 is "Channel 0 position".
SLIDER, FIELD, CENTER = "Channel %d position", "Channel %d value", "Center channel %d"

# Accessible roles by the names they have on Debian 12 and on Debian 13. Debian 13's accessibility
# library calls the push button role "button"; Qt 6.8 gives a plain QFrame (a channel's box) the
# panel role where Qt 6.4 gives it the frame role.
BUTTON, BOX = ("push button", "button"), ("frame", "panel")
TEXT, SCROLL_BAR, LABEL = ("text",), ("scroll bar",), ("label",)


def slider_point(rect, where):
    """A point on a vertical slider: its arrows, its track on either side of a centred thumb,
    or the thumb itself while the slider stands in the middle of its range."""
    x, y, w, h = rect
    offsets = {
        "up arrow": 4,
        "down arrow": h - 5,
        "track above thumb": h // 4,
        "track below thumb": 3 * h // 4,
        "centred thumb": h // 2,
    }
    return x + w // 2, y + offsets[where]


class PanelTest(unittest.TestCase):
    """Each test runs one panel in its own X server on its own simulated boards."""

    maxDiff = None

    def session(self, **options):
        return Session(CONFIG.panel, CONFIG.board, CONFIG.artifacts, self._testMethodName,
                       **options)

    # ---- shared steps ---------------------------------------------------------------------

    def click_slider(self, s, channel, where):
        s.input.click(*slider_point(s.screen.rect(SLIDER % channel), where))

    def fence(self, s, board, before=None):
        """Proves that nothing beyond `before` commands, when given, reached the board by now.

        Clicks the up arrow of channel 7's slider, which sends exactly one command (7, value - 1)
        behind everything the panel has already sent; returns the commands that came before it.
        """
        value = s.screen.value(SLIDER % 7)
        self.click_slider(s, 7, "up arrow")
        poll(lambda: board.commands()[-1:] == [(7, value - 1)], 10, "the fence command")
        commands = board.commands()[:-1]
        if before is not None:
            self.assertEqual(commands[before:], [], "commands after the expected ones")
            self.assertEqual(len(commands), before, "commands before the fence")
        return commands

    def wait_text(self, s, field, text, timeout=10.0):
        try:
            poll(lambda: s.screen.text(field) == text, timeout, "%s to show %r" % (field, text))
        except E2EError as error:
            raise E2EError("%s; it shows %r" % (error, s.screen.text(field))) from None

    # ---- start-up -------------------------------------------------------------------------

    def test_start_up(self):
        with self.session() as s:
            board = s.boards[1]
            self.assertEqual(board.wait_for_count(16)[:16], START_UP)
            for k in range(8):
                self.assertEqual(s.screen.text(FIELD % k), " 127")
                self.assertEqual(s.screen.value(SLIDER % k), 127)
            self.assertEqual(s.screen.text("Next step"), "1")
            self.assertEqual(s.screen.text("Playback delay in seconds"), "1")
            self.assertEqual(s.screen.value("Playback speed"), 0)
            # Every control reaches the accessibility bus with its name and role, as one of the
            # names that the supported versions give that role.
            roles = {"Exit": BUTTON, "Save Pos": BUTTON, "Playback": BUTTON,
                     "Next step": TEXT, "Playback delay in seconds": TEXT,
                     "Playback speed": SCROLL_BAR, "Playback Speed": LABEL}
            for k in range(8):
                roles.update({SLIDER % k: SCROLL_BAR, CENTER % k: BUTTON,
                              FIELD % k: TEXT, "Channel %d frame" % k: BOX})
            shown = {name: control.getRoleName() for name, control in s.screen.controls.items()}
            self.assertEqual(sorted(shown), sorted(roles), "accessible names")
            self.assertEqual({name: role for name, role in shown.items()
                              if role not in roles[name]}, {}, "controls of another role")
            s.assert_no_message()

            rect, width, height, rgb = s.window_pixels()
            s.save_screenshot(os.path.join(CONFIG.artifacts, "startup.png"), rect)
            self.check_field_colours(s, rect, width, rgb)

            # Nothing but the sixteen commands: 48 bytes.
            self.assertEqual(self.fence(s, board, 16), START_UP)

    def check_field_colours(self, s, window, width, rgb):
        """Green text on black in the fields, on dark red in the last channel's, as drawn."""
        def inner_pixels(field):
            x, y, w, h = s.screen.rect(field)
            pixels = []
            for py in range(y - window[1] + 3, y - window[1] + h - 3):
                for px in range(x - window[0] + 3, x - window[0] + w - 3):
                    i = (py * width + px) * 3
                    pixels.append(tuple(rgb[i:i + 3]))
            return pixels

        for field, background in [(FIELD % 0, (0, 0, 0)), (FIELD % 3, (0, 0, 0)),
                                  (FIELD % 7, (64, 0, 0)), ("Next step", (0, 0, 0))]:
            pixels = inner_pixels(field)
            most = max(set(pixels), key=pixels.count)
            self.assertEqual(most, background, "background of " + field)
            green = [p for p in pixels if p[1] >= 192 and p[0] <= 64 and p[2] <= 64]
            self.assertGreater(len(green), 5, "green text in " + field)

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
        with self.session(style=style) as s:
            board = s.boards[1]
            board.wait_for_count(16)
            expected = []
            for channel, where, value in cases:
                case = "channel %d %s" % (channel, where)
                self.click_slider(s, channel, where)
                expected.append((channel, value))
                got = board.wait_for_count(16 + len(expected))[16:]
                self.assertEqual(got[-1], (channel, value), case)
                self.wait_text(s, FIELD % channel, " %d" % value)
                self.assertEqual(s.screen.value(SLIDER % channel), value, case)
            self.assertEqual(self.fence(s, board, 16 + len(expected))[16:], expected)
            s.save_screenshot(os.path.join(CONFIG.artifacts, "slider-clicks-%s.png" % style),
                              s.screen.window_rect())

    def test_slider_clicks_fusion(self):
        self.run_slider_clicks("Fusion")

    def test_slider_clicks_windows(self):
        self.run_slider_clicks("Windows")

    def test_thumb_drag(self):
        with self.session() as s:
            board = s.boards[1]
            board.wait_for_count(16)
            x, y = slider_point(s.screen.rect(SLIDER % 2), "centred thumb")
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
                    self.assertEqual(channel, 2)
                    previous = sent[-1][1] if sent else 127
                    if expect == "more":
                        self.assertGreater(position, previous)
                    else:
                        self.assertEqual(position, expect)
                    sent.append(commands[-1])
            finally:
                s.input.release()
            final = sent[-1][1]
            self.assertGreater(final, 127)
            self.wait_text(s, FIELD % 2, " %d" % final)
            self.assertEqual(s.screen.value(SLIDER % 2), final)
            # One command per reported move, none at the release.
            self.assertEqual(self.fence(s, board, 16 + len(sent))[16:], sent)

    # ---- Center ---------------------------------------------------------------------------

    def test_center(self):
        with self.session() as s:
            board = s.boards[1]
            board.wait_for_count(16)
            self.click_slider(s, 1, "down arrow")
            self.click_slider(s, 1, "down arrow")
            board.wait_for_count(18)
            self.wait_text(s, FIELD % 1, " 129")
            # (button, commands it must send): twice for a moved slider, once for a centred one.
            cases = [(CENTER % 1, [(1, 127), (1, 127)]), (CENTER % 4, [(4, 127)]),
                     (CENTER % 1, [(1, 127)])]
            expected = [(1, 128), (1, 129)]
            for button, commands in cases:
                s.click(button)
                expected += commands
                board.wait_for_count(16 + len(expected))
                channel = commands[0][0]
                self.wait_text(s, FIELD % channel, " 127")
                self.assertEqual(s.screen.value(SLIDER % channel), 127, button)
                self.assertEqual(self.fence(s, board, 16 + len(expected))[16:], expected, button)
                expected.append(board.commands()[-1])  # the fence's own command

    # ---- the port menu --------------------------------------------------------------------

    def test_com2_present(self):
        with self.session(boards={1: (), 2: ()}) as s:
            com1, com2 = s.boards[1], s.boards[2]
            com1.wait_for_count(16)
            poll(lambda: s.open_fds_to(s.device_paths[1]), 10, "COM1 open")
            s.choose_menu("Com Port", "Com2,2400,N,8,1")
            poll(lambda: s.open_fds_to(s.device_paths[2]), 10, "COM2 open")
            self.assertFalse(s.open_fds_to(s.device_paths[1]), "COM1 still open")
            self.click_slider(s, 4, "up arrow")
            self.assertEqual(com2.wait_for_count(1), [(4, 126)])
            s.assert_no_message()
            self.assertEqual(self.fence(s, com2, 1), [(4, 126)])
            self.assertEqual(com1.commands(), START_UP)

    def test_com2_from_the_keyboard(self):
        with self.session(boards={1: (), 2: ()}) as s:
            s.boards[1].wait_for_count(16)
            poll(lambda: s.open_fds_to(s.device_paths[1]), 10, "COM1 open")
            com2 = ("Com Port", "Com2,2400,N,8,1")
            s.click("Playback Speed")  # the label: makes the window active, as a desktop would
            # F10 alone selects the title and opens nothing, a second later; Down opens it on its
            # first item.
            s.input.key("F10")
            s.assert_no_message()
            self.assertIsNone(s.shown_menu_item(*com2), "F10 opened the menu")
            s.input.key("Down")
            poll(lambda: s.shown_menu_item(*com2), 10, "the port menu open")
            s.input.key("Down")
            s.input.key("Return")
            poll(lambda: s.open_fds_to(s.device_paths[2]), 10, "COM2 open")
            self.assertFalse(s.open_fds_to(s.device_paths[1]), "COM1 still open")
            s.assert_no_message()

    def test_com2_absent(self):
        with self.session(boards={1: ()}) as s:
            com1 = s.boards[1]
            com1.wait_for_count(16)
            s.choose_menu("Com Port", "Com2,2400,N,8,1")
            self.assertEqual(s.wait_for_message(), "Invalid port - will use Port 1 instead")
            # COM1 is open again while the message shows.
            self.assertTrue(s.open_fds_to(s.device_paths[1]))
            s.dismiss_message("Return")
            self.click_slider(s, 4, "up arrow")
            self.assertEqual(self.fence(s, com1, 17), START_UP + [(4, 126)])
            s.assert_no_message()

    def test_com1_missing_at_start_up(self):
        with self.session(boards={}) as s:
            text = s.wait_for_message()
            self.assertTrue(text.startswith("COM1 (%s) cannot be opened" % s.device_paths[1]),
                            text)
            s.dismiss_message("space")
            for k in range(8):
                self.assertEqual(s.screen.text(FIELD % k), " 127")
            # The sliders still work on screen; commands are dropped without a message.
            self.click_slider(s, 0, "down arrow")
            self.wait_text(s, FIELD % 0, " 128")
            s.assert_no_message()
            self.assertIsNone(s.panel.poll(), "the panel ended")

    # ---- Save Pos and Playback ------------------------------------------------------------

    def test_save_and_playback_echo(self):
        with self.session() as s:
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
                        self.click_slider(s, control, where)
                    else:
                        s.click(CENTER % control)
                expected += commands
                self.assertEqual(board.wait_for_count(len(expected)), expected)
                self.wait_text(s, FIELD % 7, " %d" % positions[7])
                s.click("Save Pos")
                self.wait_text(s, "Next step", str(number + 1))
                steps.append(positions)
            # Move one slider away from both steps, so that playing step 1 moves it back.
            self.click_slider(s, 5, "up arrow")
            expected.append((5, 126))
            self.assertEqual(board.wait_for_count(len(expected)), expected)
            sliders = [s.screen.value(SLIDER % k) for k in range(8)]
            self.assertEqual(sliders, [127, 127, 127, 126, 127, 126, 127, 128])

            # Opening the port anew drops the echoes waiting so far: in the first step the board
            # then answers each try before the next one.
            s.choose_menu("Com Port", "Com1,2400,N,8,1")
            s.click("Playback")
            boxes = []
            for number, positions in enumerate(steps, start=1):
                for channel, position in enumerate(positions):
                    boxes.append(s.wait_for_message())
                    where = "step %d channel %d" % (number, channel)
                    self.assertEqual(s.screen.text("Next step"), str(number), where)
                    self.assertEqual(s.screen.text(FIELD % channel), str(position), where)
                    s.dismiss_message("Return" if len(boxes) % 2 else "space")
            print("try counts shown: %s" % " ".join(boxes))
            self.wait_text(s, "Next step", "3", timeout=30)
            s.assert_no_message()
            # Each channel's tries are the run of its command at the board; the slider moves
            # follow each step.
            commands, at, tries = self.fence(s, board), len(expected), []
            for positions in steps:
                for channel, position in enumerate(positions):
                    first = at
                    while at < len(commands) and commands[at] == (channel, position):
                        at += 1
                    tries.append(str(at - first))
                moves = slider_moves(sliders, positions)
                self.assertEqual(commands[at:at + len(moves)], moves, "slider moves")
                at += len(moves)
            self.assertEqual(commands[at:], [], "sent after the playback")
            self.assertEqual(boxes, tries)
            self.assertEqual(tries[:8], ["1"] * 8, "tries in the first step")
            self.assertEqual([s.screen.text(FIELD % k) for k in range(7)],
                             [" 127", "127", "127", "126", "127", "127", "127"])
            # Channel 7 has moved on with the fence; the sliders stand at the last step.
            self.assertEqual([s.screen.value(SLIDER % k) for k in range(7)], steps[-1][:7])

    def test_playback_silent_board(self):
        with self.session(boards={1: ("--no-reply", "--baud", "2400", "--latency", "16")}) as s:
            board = s.boards[1]
            board.wait_for_count(16)
            self.click_slider(s, 1, "down arrow")
            board.wait_for_count(17)
            self.wait_text(s, FIELD % 1, " 128")
            s.click("Save Pos")
            self.wait_text(s, "Next step", "2")
            self.click_slider(s, 1, "down arrow")
            board.wait_for_count(18)
            started = time.monotonic()
            s.click("Playback")
            board.wait_for_count(18 + 3)
            # While the handshake waits for the board, the window answers the accessibility bus:
            # every read comes back before the 200th try has gone out.
            answers = []
            for _ in range(10):
                asked = time.monotonic()
                self.assertEqual(s.screen.text("Next step"), "1")
                answers.append(time.monotonic() - asked)
                self.assertLess(board.count(), 18 + 200, "answered only after the handshake")
            print("the accessibility bus answered within %.0f ms at worst during the handshake"
                  % (1000 * max(answers)))
            # A click through the window system is held back until the handshake has ended.
            s.click("Save Pos")
            self.assertLess(board.count(), 18 + 200, "the click came after the handshake")
            # 200 tries of channel 0, the first waiting 107 ms and the others 41 ms.
            self.assertEqual(s.wait_for_message(timeout=120),
                             "Communications problem encountered")
            print("200 unanswered tries took %.1f s" % (time.monotonic() - started))
            # Save Pos would have shown the next step, 3.
            self.assertEqual(s.screen.text("Next step"), "1", "Save Pos ran during the handshake")
            commands = board.wait_for_count(18 + 200)
            self.assertEqual(commands[18:], [(0, 127)] * 200)
            s.dismiss_message("space")
            # The held click reached the window while the message box was up, and went the way
            # of every click on a window that a modal message box blocks: nothing was recorded.
            self.wait_text(s, "Next step", "2")
            s.assert_no_message()
            # Channel 0 keeps the played text, channel 1 its own; no slider moved.
            self.assertEqual(s.screen.text(FIELD % 0), "127")
            self.assertEqual(s.screen.text(FIELD % 1), " 129")
            self.assertEqual(s.screen.value(SLIDER % 1), 129)
            self.assertEqual(self.fence(s, board, 218)[18:], [(0, 127)] * 200)

    # ---- Exit -----------------------------------------------------------------------------

    def test_exit(self):
        with self.session() as s:
            s.boards[1].wait_for_count(16)
            device = s.device_paths[1]
            lock = serial_lock_file(device)
            self.assertTrue(s.open_fds_to(device))
            self.assertIsNotNone(lock, "no lock file while the port is open")
            s.click("Exit")
            self.assertEqual(s.wait_for_exit(), 0)
            # The port was closed, not abandoned: its lock file is gone.
            self.assertFalse(os.path.exists(lock), "lock file left behind: " + lock)
            self.assertEqual(s.boards[1].commands(), START_UP)

    def test_sigterm_during_hold(self):
        with self.session() as s:
            s.boards[1].wait_for_count(16)
            lock = serial_lock_file(s.device_paths[1])
            self.assertIsNotNone(lock, "no lock file while the port is open")
            x, y, w, h = s.screen.rect("Playback speed")
            for _ in range(5):
                s.input.click(x + w - 5, y + h // 2)  # the right arrow: one second more
            self.wait_text(s, "Playback delay in seconds", " 5")
            s.click("Save Pos")
            self.wait_text(s, "Next step", "2")
            s.click("Playback")
            for _ in range(8):
                s.wait_for_message()
                s.dismiss_message()
            # The step shows while its hold of 5 s runs.
            self.assertEqual(s.screen.text("Next step"), "1")
            s.panel.send_signal(signal.SIGTERM)
            self.assertEqual(s.wait_for_exit(), 0)
            self.assertFalse(os.path.exists(lock), "lock file left behind: " + lock)

    # ---- the simulated board's window -----------------------------------------------------

    def test_board_window(self):
        horn_blue = (0x1F, 0x5F, 0xA8)
        with self.session(boards={1: ("--window", "--baud", "2400")}) as s:
            board = s.boards[1]
            board.wait_for_count(16)
            window, rect = poll(lambda: find_window(s.env, "Tolvane board"), 15,
                                "one window titled 'Tolvane board'")
            s.input.run("windowraise", window)

            def drawn():
                width, height, rgb = capture(s.env, rect)
                pixels = [rgb[i:i + 3] for i in range(0, len(rgb), 3)]
                # Eight horns, each a thick bar of dozens of pixels.
                return pixels.count(bytes(horn_blue)) > 8 * 40 and (width, height, rgb)

            width, height, rgb = poll(drawn, 15, "the eight horns drawn in the board's window")
            write_png(os.path.join(CONFIG.artifacts, "board-window.png"), width, height, rgb)
            self.assertGreater(len(set(rgb[i:i + 3] for i in range(0, len(rgb), 3))), 16,
                               "a window of a few flat colours")
            # Closing the window ends the board as a stop signal does: cleanly, link removed.
            request_close(window)
            self.assertEqual(board.process.wait(timeout=10), 0)
            self.assertFalse(os.path.lexists(board.link), "link left behind")


def slider_moves(sliders, step):
    """The commands that moving the sliders to a played step sends: one for each slider whose
    value changes, in channel order. Updates sliders."""
    commands = []
    for channel, position in enumerate(step):
        if sliders[channel] != position:
            sliders[channel] = position
            commands.append((channel, position))
    return commands


def test_names():
    loader = unittest.TestLoader()
    return ["PanelTest." + name for name in loader.getTestCaseNames(PanelTest)]


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--panel", help="the built tolvane")
    parser.add_argument("--board", help="the built tolvane-board")
    parser.add_argument("--artifacts", default=os.path.join(os.getcwd(), "e2e-artifacts"))
    parser.add_argument("--list", action="store_true", help="print the test names")
    parser.add_argument("--registered", metavar="NAMES",
                        help="comma-separated names that ctest runs: fails unless they are "
                             "exactly the tests of this file")
    parser.add_argument("tests", nargs="*")
    args = parser.parse_args()
    if args.list:
        print("\n".join(test_names()))
        return 0
    if args.registered is not None:
        return check_registered(args.registered.split(","))
    if not args.panel or not args.board:
        parser.error("--panel and --board are needed to run tests")
    missing = missing_tools()
    if missing:
        ci = bool(os.environ.get("CI"))
        print("%s: not installed: %s (tools/install-deps.sh installs them)%s" % (
            "FAILED" if ci else "SKIPPED", ", ".join(missing),
            "; CI is set, where the end-to-end tests must run" if ci else ""))
        return 1 if ci else SKIP
    os.makedirs(args.artifacts, exist_ok=True)
    tests = args.tests or test_names()
    if len(tests) > 1:
        return run_each(tests, sys.argv[1:len(sys.argv) - len(args.tests)])
    CONFIG.panel = os.path.abspath(args.panel)
    CONFIG.board = os.path.abspath(args.board)
    CONFIG.artifacts = os.path.abspath(args.artifacts)
    name = tests[0] if tests[0].startswith("PanelTest.") else "PanelTest." + tests[0]
    result = unittest.main(module=__name__, argv=[sys.argv[0], "-v", name], exit=False,
                           warnings="ignore").result
    return 0 if result.wasSuccessful() else 1


def check_registered(registered):
    written = {name[len("PanelTest.test_"):] for name in test_names()}
    unregistered = sorted(written - set(registered))
    unknown = sorted(set(registered) - written)
    if unregistered or unknown:
        print("tests never run by ctest: %s; registered but not written: %s"
              % (unregistered or "none", unknown or "none"))
        return 1
    print("%d end-to-end tests, all registered" % len(written))
    return 0


def run_each(tests, options):
    failed = []
    for name in tests:
        started = time.monotonic()
        code = subprocess.call([sys.executable, os.path.abspath(__file__), *options, name])
        print("%s: %s in %.1f s" % (name, {0: "passed", SKIP: "skipped"}.get(code, "FAILED"),
                                    time.monotonic() - started), flush=True)
        if code not in (0, SKIP):
            failed.append(name)
    print("%d passed, %d failed" % (len(tests) - len(failed), len(failed)))
    return 1 if failed else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except E2EError as error:
        print("ERROR:", error)
        sys.exit(1)
