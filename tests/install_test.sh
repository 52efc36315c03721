#!/usr/bin/env bash
# Installs into a scratch root and checks that a Linux desktop finds the program, the board, the
# desktop entry and the icon in each size.
set -euo pipefail
build_dir=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

DESTDIR=$root cmake --install "$build_dir" --prefix /usr >/dev/null

expect=(
  usr/bin/tolvane
  usr/bin/tolvane-board
  usr/share/applications/tolvane.desktop
)
for size in 16 32 48 128 256; do
  expect+=("usr/share/icons/hicolor/${size}x${size}/apps/tolvane.png")
done
status=0
for file in "${expect[@]}"; do
  if [ ! -s "$root/$file" ]; then
    echo "missing after install: /$file" >&2
    status=1
  fi
done
for program in tolvane tolvane-board; do
  [ -x "$root/usr/bin/$program" ] || { echo "not executable: $program" >&2; status=1; }
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/tolvane.desktop" || status=1
fi
grep -q '^Exec=tolvane$' "$root/usr/share/applications/tolvane.desktop" || status=1
grep -q '^Icon=tolvane$' "$root/usr/share/applications/tolvane.desktop" || status=1
exit $status
