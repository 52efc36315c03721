#!/usr/bin/env python3
"""The Wayland input client's own figures: the key and button codes that KWin's fake input takes,
checked against the kernel's header (linux/input-event-codes.h, from linux-libc-dev), and the
wire encodings written out."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from kwin_session import BUTTONS, KEYS, WaylandWire, fixed  # noqa: E402

HEADER = "/usr/include/linux/input-event-codes.h"

# The key names the scenarios use (as xdotool names them) and the header's names for them.
HEADER_NAMES = {
    "Escape": "KEY_ESC", "BackSpace": "KEY_BACKSPACE", "Tab": "KEY_TAB", "Return": "KEY_ENTER",
    "Control_L": "KEY_LEFTCTRL", "ctrl": "KEY_LEFTCTRL", "Shift_L": "KEY_LEFTSHIFT",
    "shift": "KEY_LEFTSHIFT", "Alt_L": "KEY_LEFTALT", "alt": "KEY_LEFTALT", "space": "KEY_SPACE",
    "F10": "KEY_F10", "Home": "KEY_HOME", "Up": "KEY_UP", "Page_Up": "KEY_PAGEUP",
    "Left": "KEY_LEFT", "Right": "KEY_RIGHT", "End": "KEY_END", "Down": "KEY_DOWN",
    "Page_Down": "KEY_PAGEDOWN", "Delete": "KEY_DELETE", "minus": "KEY_MINUS",
    "period": "KEY_DOT",
}
HEADER_NAMES.update({str(digit): "KEY_%d" % digit for digit in range(10)})
HEADER_NAMES.update({letter: "KEY_" + letter.upper() for letter in "abcdefghijklmnopqrstuvwxyz"})


def header_codes():
    codes = {}
    with open(HEADER) as header:
        for line in header:
            match = re.match(r"#define\s+((?:KEY|BTN)_\w+)\s+(0x[0-9a-fA-F]+|\d+)\b", line)
            if match:
                codes[match.group(1)] = int(match.group(2), 0)
    return codes


class InputCodes(unittest.TestCase):
    @unittest.skipUnless(os.path.exists(HEADER) or os.environ.get("CI"), HEADER + " missing")
    def test_keys_and_buttons_are_the_kernels(self):
        codes = header_codes()
        self.assertEqual(sorted(KEYS), sorted(HEADER_NAMES), "key names without a reference")
        for name, constant in HEADER_NAMES.items():
            with self.subTest(key=name):
                self.assertEqual(KEYS[name], codes[constant], constant)
        for button, constant in {1: "BTN_LEFT", 2: "BTN_MIDDLE", 3: "BTN_RIGHT"}.items():
            with self.subTest(button=button):
                self.assertEqual(BUTTONS[button], codes[constant], constant)

    def test_wire_encodings(self):
        # (value, bytes on the wire): a string with its length (with the NUL) and padding to 4
        # bytes; wl_fixed_t, a signed 24.8 number.
        strings = [("", b"\x01\0\0\0\0\0\0\0"), ("ab", b"\x03\0\0\0ab\0\0"),
                   ("abc", b"\x04\0\0\0abc\0"), ("tests", b"\x06\0\0\0tests\0\0\0")]
        for text, wire in strings:
            with self.subTest(string=text):
                self.assertEqual(WaylandWire.string(text), wire)
        numbers = [(0, b"\0\0\0\0"), (1, b"\0\x01\0\0"), (288.5, b"\x80\x20\x01\0"),
                   (-1, b"\0\xff\xff\xff")]
        for value, wire in numbers:
            with self.subTest(fixed=value):
                self.assertEqual(fixed(value), wire)


if __name__ == "__main__":
    unittest.main()
