"""The one scenario harness of the end-to-end tests, the kernel lab and the scenarios under Wine.

    checks   check, equal, poll, figures and the result loop
    panel    the start-up bytes, the controls' names and the layout from window_layout.h
    session  the fixture: display, boards, the panel's process, the window, input, reports
    boards   the simulated board on a pseudo-terminal
    x11      Xvfb, input through XTEST (xdotool), the screen read with xwd
    atspi    the window read over the accessibility bus
    pixels   images of the screen and PNG files

A stage (a subclass of session.Stage) plugs in what differs: how the window is read, where the
panel runs, how its ports are named, and the display and input if not Xvfb and xdotool.
"""
