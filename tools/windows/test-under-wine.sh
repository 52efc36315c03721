#!/usr/bin/env bash
# On Debian 13, whose Wine 10 runs the panel (Debian 12's Wine 8 blocks in WaitCommEvent when a
# port opens): runs the panel built for Windows by tools/windows/build.sh under Wine, first every
# test of its build that needs no POSIX device, through ctest, then the scenarios of
# tests/windows with the simulated boards behind COM1 and COM2, from its zip and its installer.
# One Wine prefix serves both (tools/windows/wine.sh); the scenarios' table of Windows set-ups
# makes new ones of its own. What the scenarios keep (a screenshot of each Windows set-up) goes to
# ARTIFACTS_DIR, emptied first. CI runs it in its Debian 13 chroot
# (tools/run-tests-windows.sh); on a Debian 13 machine it runs as it is.
#
#   tools/windows/test-under-wine.sh BUILD_DIR ARTIFACTS_DIR [SCENARIO ...]
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ $# -lt 2 ]; then
  echo "usage: $0 BUILD_DIR ARTIFACTS_DIR [SCENARIO ...]" >&2
  exit 2
fi
build=$1 artifacts=$2
shift 2
started=$SECONDS
step() { echo "== Windows under Wine: $* (at $((SECONDS - started)) s)"; }

[ -f "$build/packages.env" ] || {
  echo "no $build/packages.env: tools/windows/build.sh $build builds and packs first" >&2
  exit 1
}
# shellcheck source=/dev/null
. "$build/packages.env"
rm -rf "$artifacts"
mkdir -p "$artifacts"
tools/install-deps.sh --wine

# Programs of this system, in a folder of the build: the simulated board and the library that
# lends its pseudo-terminals modem lines.
host=$build/host
step "building the simulated board and the modem lines for this system in $host"
cmake -S . -B "$host" -DTOLVANE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$host" -j"$(nproc)" --target tolvane-board tolvane_pty_modem_lines >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-wine.XXXXXX")
export WINEPREFIX=$work/prefix
trap 'tools/windows/wine.sh end; rm -rf "$work"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
step "making a Wine prefix"
tools/windows/wine.sh prefix "$work/ports" "$host/tests/pty_modem_lines.so"

status=0
step "running the tests under Wine"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j"$(nproc)" \
  --timeout 300 || status=1

step "running the scenarios under Wine"
python3 tests/windows/wine_scenarios.py --version "$TOLVANE_VERSION" \
  --zip "$build/$TOLVANE_ZIP" --installer "$build/$TOLVANE_INSTALLER" \
  --board "$host/board/tolvane-board" --probe "$build/tests/tolvane_window_probe.exe" \
  --modem-lines "$host/tests/pty_modem_lines.so" --artifacts "$artifacts" "$@" || status=1
step "done, exit status $status"
exit "$status"
