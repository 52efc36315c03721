#!/usr/bin/env bash
# Installs what is missing, compiles the sources as macOS and Windows would, builds, and runs every
# test through ctest, without a display: once on a normal build (then lintian on its Debian
# package), once under AddressSanitizer and UndefinedBehaviorSanitizer; then clang-tidy.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/check-portability.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

tools/build.sh build
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 300

# The Debian package as cpack makes it: lintian must report no error and no warning.
package_dir=$(mktemp -d)
trap 'rm -rf "$package_dir"' EXIT
(cd build && cpack -B "$package_dir" >/dev/null)
lintian --fail-on error,warning "$package_dir"/tolvane_*.deb
echo "lintian: no error, no warning"

tools/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DTOLVANE_SANITIZE=ON -DTOLVANE_BUILD_BENCHMARKS=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 600

tools/tidy.sh build
