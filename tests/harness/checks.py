"""Checks, timed waits, figures and the result loop that every stage's scenarios share."""

import time
import traceback


class ScenarioError(AssertionError):
    """A check that failed, a wait that ran out, or a window that is not as laid out."""


class StageError(ScenarioError):
    """The stage itself broke (its virtual machine, its line): no later scenario can run."""


def check(condition, what):
    if not condition:
        raise ScenarioError(what)


def equal(got, expected, what):
    if got != expected:
        raise ScenarioError("%s: got %r, expected %r" % (what, got, expected))


def poll(probe, timeout, what, interval=0.02):
    """Calls probe() until it returns something other than None or False; returns that.

    Errors of the probe's calls count as "not yet" (the panel may be busy and not answer); the
    last one is named if the deadline passes. A failed check in the probe fails the wait at once.
    """
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            result = probe()
            if result is not None and result is not False:
                return result
        except AssertionError:
            raise
        except Exception as error:  # noqa: BLE001 - a call that failed means "not yet"
            last_error = error
        if time.monotonic() >= deadline:
            detail = " (last error: %r)" % (last_error,) if last_error else ""
            raise ScenarioError("timed out after %.1f s waiting for %s%s" % (timeout, what, detail))
        time.sleep(interval)


def figure(text, *values):
    """A measured figure: printed, and picked out of a guest's log by the kernel lab's host."""
    print("figure: " + (text % values if values else text), flush=True)


PASSED, SKIPPED, FAILED = "passed", "skipped", "FAILED"


def run_table(title, names, run_one, timed=True):
    """Runs each scenario by its name, timed; run_one returns SKIPPED, FAILED or anything else for
    passed, or raises. Prints each one's time unless the caller times it, and a summary of more
    than one; returns the exit status."""
    started = time.monotonic()
    outcomes = {}
    for name in names:
        begun, broken = time.monotonic(), None
        try:
            outcome = run_one(name)
            outcomes[name] = outcome if outcome in (SKIPPED, FAILED) else PASSED
        except StageError as error:
            broken, outcomes[name] = error, FAILED
        except Exception:  # noqa: BLE001 - every scenario runs and reports
            traceback.print_exc()
            outcomes[name] = FAILED
        if timed:
            print("%s: %s in %.1f s" % (name, outcomes[name], time.monotonic() - begun), flush=True)
        if broken:
            print("the stage broke: %s" % broken, flush=True)
            break
    failed = [name for name, outcome in outcomes.items() if outcome == FAILED]
    not_run = [name for name in names if name not in outcomes]
    if len(names) > 1:
        print("%s: %d scenarios, %d passed, %d skipped, %d failed%s%s; %.1f s in all" % (
            title, len(names), sum(1 for o in outcomes.values() if o == PASSED),
            sum(1 for o in outcomes.values() if o == SKIPPED), len(failed),
            (" (" + ", ".join(failed) + ")") if failed else "",
            ("; not run: " + ", ".join(not_run)) if not_run else "", time.monotonic() - started),
            flush=True)
    return 1 if failed or not_run else 0
