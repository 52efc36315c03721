#!/usr/bin/env bash
# Prints the Debian mirror that apt's sources name for a release's own suite (not its -updates,
# -security or -backports suites): deb822 stanzas (*.sources) first, then one-line entries.
#
#   tools/debian-mirror.sh [CODENAME [APT_DIR]]   defaults: this machine's release, /etc/apt
set -euo pipefail
codename=${1:-$(. /etc/os-release && echo "${VERSION_CODENAME:-}")}
apt_dir=${2:-/etc/apt}
if [ -z "$codename" ]; then
  echo "no release codename in /etc/os-release" >&2
  exit 1
fi

for file in "$apt_dir"/sources.list.d/*.sources; do
  [ -f "$file" ] || continue
  awk -v want="$codename" '
    function trim(text) { gsub(/^[ \t]+|[ \t]+$/, "", text); return text }
    function has(list, word,   part, n, i) {
      n = split(trim(list), part, /[ \t]+/)
      for (i = 1; i <= n; i++) if (part[i] == word) return 1
      return 0
    }
    function stanza(   uris) {
      if (!found && has(field["types"], "deb") && has(field["suites"], want) &&
          tolower(trim(field["enabled"])) != "no" && split(trim(field["uris"]), uris, /[ \t]+/)) {
        print uris[1]
        found = 1
      }
      split("", field)
      name = ""
    }
    /^[ \t]*#/ { next }
    /^[ \t]*$/ { stanza(); next }
    /^[ \t]/ { if (name != "") field[name] = field[name] " " $0; next }
    { name = tolower(substr($0, 1, index($0, ":") - 1)); field[name] = substr($0, index($0, ":") + 1) }
    END { stanza() }
  ' "$file" | head -n 1 | grep . && exit 0
done

for file in "$apt_dir"/sources.list "$apt_dir"/sources.list.d/*.list; do
  [ -f "$file" ] || continue
  awk -v want="$codename" '
    $1 != "deb" { next }
    {
      i = 2
      if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
      if ($(i + 1) == want) { print $i; exit }
    }
  ' "$file" | head -n 1 | grep . && exit 0
done

echo "no mirror for $codename in $apt_dir/sources.list or $apt_dir/sources.list.d" >&2
exit 1
