#!/usr/bin/env bash
# CI's fourth stage: the panel built for Windows (tools/windows/build.sh) and run on Windows' API
# under Wine (tools/windows/test-under-wine.sh), in the Debian 13 chroot of the second stage. Qt
# for Windows is built in the chroot the first time and kept in its /var/cache/tolvane-ci. The
# zip, the installer and what the scenarios keep (the screenshots of the Windows set-ups) are
# copied back to build-windows-stage/ in this tree, emptied first. Needs root: without it the
# stage says SKIPPED and ends with 77, and fails under CI.
#   tools/run-tests-windows.sh [SCENARIO ...]   (tests/windows/wine_scenarios.py names them)
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
root=${TOLVANE_DEBIAN13_ROOT:-/var/cache/tolvane-ci/trixie}
root=$(realpath -m "${root%/}")
kept=build-windows-stage
# Inside the chroot, a folder of this run's own: once the chroot's lock is let go, the next run
# replaces the copy of the tree there, build folder and all.
handed=/var/tmp/tolvane-windows-stage.$$.$RANDOM

stage_name="the Windows stage" skip_status=77
# shellcheck source=tools/cannot-run.sh
source tools/cannot-run.sh
[ "$(id -u)" -eq 0 ] || cannot_run "it needs root, for the Debian 13 chroot; nothing was built or run"

rm -rf "$kept"
mkdir -p "$kept"
status=0
bash tools/run-tests-debian13.sh --run "tools/windows/build.sh build-windows &&
  . build-windows/packages.env && mkdir -p $handed &&
  cp \"build-windows/\$TOLVANE_ZIP\" \"build-windows/\$TOLVANE_INSTALLER\" $handed/ &&
  tools/windows/test-under-wine.sh build-windows $handed/wine-artifacts ${*@Q}" || status=$?
if [ -d "$root$handed" ]; then
  cp -r "$root$handed"/. "$kept"/
  rm -rf "$root$handed"
fi
echo "== Windows stage: $((SECONDS - started)) s, exit status $status; kept in $kept/:"
ls "$kept"
exit "$status"
