#!/usr/bin/env bash
# Runs clang-tidy with the checked-in configuration over the program's and the simulated board's
# sources; fails on any finding. Only the files this system builds are looked at: another
# system's own files (name_win.cpp on Linux) are not in the build's compile commands.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
[ -f "$build_dir/compile_commands.json" ] || tools/build.sh "$build_dir"
files=()
while IFS= read -r file; do
  if grep -qF "\"file\": \"$PWD/$file\"" "$build_dir/compile_commands.json"; then
    files+=("$file")
  fi
done < <(find src board -name '*.cpp' | sort)
printf '%s\0' "${files[@]}" |
  xargs -0 -n 1 -P "$(nproc)" clang-tidy -p "$build_dir" --quiet 2> >(grep -v -E '^[0-9]+ warnings? generated' >&2)
echo "clang-tidy: ${#files[@]} files clean"
