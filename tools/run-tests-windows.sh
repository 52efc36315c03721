#!/usr/bin/env bash
# CI's fourth stage: the panel built for Windows (tools/windows/build.sh) and run on Windows' API
# under Wine (tools/windows/test-under-wine.sh), in the Debian 13 chroot of the second stage. Qt
# for Windows is built in the chroot the first time and kept in its /var/cache/tolvane-ci. The
# zip, the installer and what the scenarios keep (the screenshot of the panel under Wine) are
# copied back to build-windows-stage/ in this tree, emptied first. Needs root: without it the
# stage says SKIPPED and ends with 77, and fails under CI.
#   tools/run-tests-windows.sh [SCENARIO ...]   (tests/windows/wine_scenarios.py names them)
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
root=${TOLVANE_DEBIAN13_ROOT:-/var/cache/tolvane-ci/trixie}
kept=build-windows-stage
built=/root/tolvane/build-windows # inside the chroot, where tools/run-tests-debian13.sh copies the tree

if [ "$(id -u)" -ne 0 ]; then
  if [ -n "${CI:-}" ]; then
    echo "FAILED: the Windows stage needs root, for the Debian 13 chroot (CI is set, where it must run)" >&2
    exit 1
  fi
  echo "SKIPPED: the Windows stage needs root, for the Debian 13 chroot; nothing was built or run" >&2
  exit 77
fi

rm -rf "$kept"
mkdir -p "$kept"
status=0
bash tools/run-tests-debian13.sh --run "tools/windows/build.sh build-windows &&
  tools/windows/test-under-wine.sh build-windows build-windows/wine-artifacts ${*@Q}" || status=$?
if [ -f "$root$built/packages.env" ]; then
  # shellcheck source=/dev/null
  . "$root$built/packages.env"
  for file in "$TOLVANE_ZIP" "$TOLVANE_INSTALLER" wine-artifacts; do
    if [ -e "$root$built/$file" ]; then cp -r "$root$built/$file" "$kept/"; fi
  done
fi
echo "== Windows stage: $((SECONDS - started)) s, exit status $status; kept in $kept/:"
ls "$kept"
exit "$status"
