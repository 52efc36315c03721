#!/usr/bin/env bash
# Builds Tolvane for 64-bit Windows on Debian with MinGW-w64, on the Qt that build-qt.sh builds
# (the first time from source), with its tests, and packs it as a zip and an installer. The
# build folder's packages.env names them, with the version.
#
#   tools/windows/build.sh [BUILD_DIR] [CMAKE_OPTION ...]   default BUILD_DIR: build-windows
set -euo pipefail
cd "$(dirname "$0")/../.."
build_dir=${1:-build-windows}
shift || true

qt=$(tools/windows/build-qt.sh)
started=$SECONDS
step() { echo "== Windows build: $* (at $((SECONDS - started)) s)"; }

step "configuring Tolvane in $build_dir on $qt"
cmake -G Ninja -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DTOLVANE_BUILD_BENCHMARKS=OFF "$@" >/dev/null
step "building"
cmake --build "$build_dir" -j"$(nproc)"
step "packing the zip and the installer"
(cd "$build_dir" && cpack -G "ZIP;NSIS" >/dev/null)
# shellcheck source=/dev/null
. "$build_dir/packages.env"
ls -l "$build_dir/$TOLVANE_ZIP" "$build_dir/$TOLVANE_INSTALLER"
step "done"
