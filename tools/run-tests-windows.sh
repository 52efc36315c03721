#!/usr/bin/env bash
# CI's fourth stage: the panel built for Windows and run on Windows' API under Wine, in the
# Debian 13 chroot of the second stage (tools/windows/test-under-wine.sh there). Qt for Windows is
# built in the chroot the first time and kept in its /var/cache/tolvane-ci. The zip, the
# installer and what the scenarios keep (the screenshot of the panel under Wine) are copied back
# to build-windows/ in this tree. Needs root: without it the Debian 13 stage says SKIPPED, and fails
# under CI.
#   tools/run-tests-windows.sh [SCENARIO ...]   (tests/windows/wine_scenarios.py names them)
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
root=${TOLVANE_DEBIAN13_ROOT:-/var/cache/tolvane-ci/trixie}

status=0
bash tools/run-tests-debian13.sh --run "tools/windows/test-under-wine.sh ${*@Q}" || status=$?
built=$root/root/tolvane/build-windows
mkdir -p build-windows
if [ -f "$built/packages.env" ]; then
  # shellcheck source=/dev/null
  . "$built/packages.env"
  for kept in "$TOLVANE_ZIP" "$TOLVANE_INSTALLER" wine-artifacts; do
    if [ -e "$built/$kept" ]; then cp -r "$built/$kept" build-windows/; fi
  done
fi
echo "== Windows stage: $((SECONDS - started)) s, exit status $status; kept in build-windows/:"
ls build-windows
exit "$status"
