"""The panel as every stage's scenarios see it: its start-up commands, its controls' names, and
where its window's layout puts them, read from the header that the panel is built with."""

import os
import re

from .checks import ScenarioError

# The sixteen commands (48 bytes) that start-up sends: every channel centred, twice.
START_UP = [(channel, 127) for channel in range(8)] * 2

# Accessible names of the controls, e.g. SLIDER % 0 is "Channel 0 position".
SLIDER, FIELD, CENTER, FRAME = ("Channel %d position", "Channel %d value", "Center channel %d",
                                "Channel %d frame")
COM1_ITEM = ("Com Port", "Com1,2400,N,8,1")
COM2_ITEM = ("Com Port", "Com2,2400,N,8,1")

LAYOUT_HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src",
                             "panel", "window_layout.h")


def centre(rect):
    x, y, w, h = rect
    return x + w // 2, y + h // 2


def slider_point(rect, where):
    """A point on a vertical slider given as (x, y, width, height): its arrows, its track on
    either side of a centred thumb, or the thumb itself while it stands in the middle."""
    x, y, w, h = rect
    offsets = {
        "up arrow": 4,
        "down arrow": h - 5,
        "track above thumb": h // 4,
        "track below thumb": 3 * h // 4,
        "centred thumb": h // 2,
    }
    return x + w // 2, y + offsets[where]


class Box:
    """A message box: its text (None where it cannot be read), what tells it from a later one,
    its client area on the screen (None where not known) and whether it has the keyboard."""

    def __init__(self, text, identity, rect, active):
        self.text, self.identity, self.rect, self.active = text, identity, rect, active


class Layout:
    """The window's layout in pixels from the client area's top-left corner, read from
    window_layout.h: a changed layout moves the clicks, and one that cannot be read fails."""

    # Accessible name -> the header's rectangle, or its function of the channel.
    NAMED = {"Exit": "kExitButton", "Save Pos": "kSaveButton", "Playback": "kPlaybackButton",
             "Next step": "kStepText", "Playback delay in seconds": "kDelayText",
             "Playback speed": "kDelaySlider", "Playback Speed": "kDelayLabel"}
    PER_CHANNEL = {SLIDER: "channelSlider", FIELD: "channelText", CENTER: "centerButton",
                   FRAME: "channelPicture"}

    def __init__(self, path=LAYOUT_HEADER):
        self.path = path
        try:
            with open(path) as header:
                text = re.sub(r"//[^\n]*", "", header.read())
        except OSError as error:
            raise ScenarioError("the window's layout cannot be read: %s" % error) from error
        self.numbers = {name: int(value) for name, value in
                        re.findall(r"constexpr int (\w+) = (-?\d+);", text)}
        self.rects = {name: self._twips(fields, None) for name, fields in
                      re.findall(r"constexpr TwipRect (\w+)\{([^}]*)\};", text)}
        self.functions = dict(
            (name, (parameter, fields)) for name, parameter, fields in re.findall(
                r"constexpr TwipRect (\w+)\(int (\w+)\)\s*\{\s*return \{([^}]*)\};\s*\}", text))
        self.twips_per_pixel = self._number("kTwipsPerPixel")
        self.client_size = self._pixels(self._rect("kClientArea"))[2:]

    def rect(self, name):
        """(x, y, width, height) in pixels of the control with this accessible name."""
        if name in self.NAMED:
            return self._pixels(self._rect(self.NAMED[name]))
        for pattern, function in self.PER_CHANNEL.items():
            match = re.fullmatch(pattern.replace("%d", r"(\d)"), name)
            if match:
                if function not in self.functions:
                    raise ScenarioError("%s: no function %s" % (self.path, function))
                parameter, fields = self.functions[function]
                return self._pixels(self._twips(fields, (parameter, int(match.group(1)))))
        raise ScenarioError("the layout places no control named %r" % name)

    def _number(self, name):
        if name not in self.numbers:
            raise ScenarioError("%s: no constant %s" % (self.path, name))
        return self.numbers[name]

    def _rect(self, name):
        if name not in self.rects:
            raise ScenarioError("%s: no rectangle %s" % (self.path, name))
        return self.rects[name]

    def _pixels(self, twips):
        return tuple(value // self.twips_per_pixel for value in twips)

    def _twips(self, fields, argument):
        """The four values of a braced list: sums of products of numbers, the header's integer
        constants and the function's argument; anything else fails."""
        def value(factor):
            factor = factor.strip()
            if re.fullmatch(r"-?\d+", factor):
                return int(factor)
            if argument and factor == argument[0]:
                return argument[1]
            if factor in self.numbers:
                return self.numbers[factor]
            raise ScenarioError("%s: cannot read %r in {%s}" % (self.path, factor, fields))

        values = []
        for field in fields.split(","):
            total = 0
            for term in field.split("+"):
                product = 1
                for factor in term.split("*"):
                    product *= value(factor)
                total += product
            values.append(total)
        if len(values) != 4:
            raise ScenarioError("%s: {%s} is not a rectangle" % (self.path, fields))
        return tuple(values)
