#!/usr/bin/env bash
# Runs clang-tidy with the checked-in configuration over the program's and the simulated board's
# sources; fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
[ -f "$build_dir/compile_commands.json" ] || tools/build.sh "$build_dir"
find src board -name '*.cpp' -print0 |
  xargs -0 -n 1 -P "$(nproc)" clang-tidy -p "$build_dir" --quiet 2> >(grep -v -E '^[0-9]+ warnings? generated' >&2)
echo "clang-tidy: clean"
