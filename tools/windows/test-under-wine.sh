#!/usr/bin/env bash
# On Debian 13, whose Wine 10 runs the panel (Debian 12's Wine 8 blocks in WaitCommEvent when a
# port opens): builds the panel for Windows with its tests (tools/build-windows.sh), runs through
# ctest under Wine every test that needs no POSIX device, then the scenarios of tests/windows with
# the simulated boards behind COM1 and COM2. CI runs it in its Debian 13 chroot
# (tools/run-tests-windows.sh); on a Debian 13 machine it runs as it is.
#   tools/windows/test-under-wine.sh [SCENARIO ...]
set -euo pipefail
cd "$(dirname "$0")/../.."
started=$SECONDS
step() { echo "== Windows under Wine: $* (at $((SECONDS - started)) s)"; }

tools/install-deps.sh --wine
tools/build-windows.sh build-windows

# Programs of this system: the simulated board and the library that lends its pseudo-terminals
# modem lines.
step "building the simulated board and the modem lines for this system"
cmake -S . -B build-board -DTOLVANE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-board -j"$(nproc)" --target tolvane-board tolvane_pty_modem_lines >/dev/null

# One prefix for the tests and the scenarios (tools/windows/wine.sh).
work=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-wine.XXXXXX")
export WINEPREFIX=$work/prefix
trap 'tools/windows/wine.sh end; rm -rf "$work"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
step "making a Wine prefix"
tools/windows/wine.sh prefix "$work/ports" build-board/tests/pty_modem_lines.so

status=0
step "running the tests under Wine"
QT_QPA_PLATFORM=offscreen ctest --test-dir build-windows --output-on-failure -j"$(nproc)" \
  --timeout 300 || status=1

step "running the scenarios under Wine"
# shellcheck source=/dev/null
. build-windows/packages.env
python3 tests/windows/wine_scenarios.py --version "$TOLVANE_VERSION" \
  --zip "build-windows/$TOLVANE_ZIP" --installer "build-windows/$TOLVANE_INSTALLER" \
  --board build-board/board/tolvane-board --probe build-windows/tests/tolvane_window_probe.exe \
  --modem-lines build-board/tests/pty_modem_lines.so \
  --artifacts build-windows/wine-artifacts "$@" || status=1
step "done, exit status $status"
exit "$status"
