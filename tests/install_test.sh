#!/usr/bin/env bash
# Installs into a scratch root and checks what a Linux desktop and a distribution find there: the
# programs, the desktop entry and its AppStream metadata, the icons, the manual pages, the
# copyright and the changelog. The validators run when installed; under CI a missing one fails.
set -euo pipefail
build_dir=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

DESTDIR=$root cmake --install "$build_dir" --prefix /usr >/dev/null

status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}
# True when the tool is installed; otherwise a failure under CI, a note on a developer's machine.
have() {
  command -v "$1" >/dev/null && return 0
  if [ -n "${CI:-}" ]; then
    fail "$1 is not installed (tools/install-deps.sh installs it)"
  else
    echo "skipped: $1 is not installed" >&2
  fi
  return 1
}

app_id=org.tolvane.Tolvane
desktop=usr/share/applications/$app_id.desktop
expect=(
  usr/bin/tolvane
  usr/bin/tolvane-board
  "$desktop"
  "usr/share/metainfo/$app_id.metainfo.xml"
  usr/share/man/man1/tolvane.1.gz
  usr/share/man/man1/tolvane-board.1.gz
  usr/share/doc/tolvane/copyright
  usr/share/doc/tolvane/changelog.gz
)
for size in 16 32 48 128 256; do
  expect+=("usr/share/icons/hicolor/${size}x${size}/apps/tolvane.png")
done
for file in "${expect[@]}"; do
  [ -s "$root/$file" ] || fail "missing after install: /$file"
done
for program in tolvane tolvane-board; do
  [ -x "$root/usr/bin/$program" ] || fail "not executable: $program"
done
grep -q '^Exec=tolvane$' "$root/$desktop" || fail "the desktop entry does not start tolvane"
grep -q '^Icon=tolvane$' "$root/$desktop" || fail "the desktop entry does not show the icon"

# The validators' findings are printed only when they fail; any finding fails.
if have desktop-file-validate; then
  found=$(desktop-file-validate "$root/$desktop" 2>&1) && [ -z "$found" ] ||
    fail "desktop-file-validate: $found"
fi
# The tree check also finds the desktop entry that the metadata's launchable names.
if have appstreamcli; then
  found=$(appstreamcli validate-tree --no-net "$root/usr" 2>&1) ||
    fail "appstreamcli validate-tree: $found"
fi
# As Debian's checks read manual pages: any message from the formatter is a fault.
if have man; then
  for page in tolvane tolvane-board; do
    messages=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
      man --warnings -E UTF-8 -l -Tutf8 -Z "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null) &&
      [ -z "$messages" ] || fail "man $page: $messages"
  done
fi

# The board's options as --help lists them ("  --delay MS    answer ...") and as its manual page
# gives them (".TP" then ".BI \-\-delay " MS""), as "--delay MS", one a line.
help_options=$("$root/usr/bin/tolvane-board" --help |
  sed -n -E 's/^  (--[a-z-]+( [A-Z]+)?)  .*/\1/p' | sort) || fail "tolvane-board --help failed"
page_options=$(gzip -dc "$root/usr/share/man/man1/tolvane-board.1.gz" |
  awk 'previous == ".TP" && ($1 == ".B" || $1 == ".BI") {
         $1 = ""; gsub(/[\\"]/, ""); $0 = $0; $1 = $1; print
       }
       { previous = $0 }' | sort)
[ -n "$help_options" ] || fail "tolvane-board --help lists no options"
if [ "$help_options" != "$page_options" ]; then
  fail "tolvane-board --help and tolvane-board(1) list different options:"
  diff <(echo "$help_options") <(echo "$page_options") | sed -n 's/^[<>]/  &/p' |
    sed -e 's/^  </  --help only:/' -e 's/^  >/  manual page only:/' >&2
fi

# The Windows program icon, kept in the source tree: two images, 32 then 16 pixels wide.
ico=$(dirname "$0")/../packaging/icons/tolvane.ico
[ "$(od -An -tu1 -N6 "$ico" | xargs)" = "0 0 1 0 2 0" ] || fail "$ico: not an icon of two images"
[ "$(od -An -tu1 -j6 -N1 "$ico" | xargs) $(od -An -tu1 -j22 -N1 "$ico" | xargs)" = "32 16" ] ||
  fail "$ico: the images are not 32 and 16 pixels"
exit $status
