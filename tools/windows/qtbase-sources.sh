#!/usr/bin/env bash
# Prints the deb-src lines from which `apt-get source` can fetch the qtbase this machine has: the
# mirror's own suite, and every suite that apt says holds the installed version (its -security or
# -updates suite once the version came from there). Reads `apt-cache madison qt6-base-dev`.
#
#   apt-cache madison qt6-base-dev | tools/windows/qtbase-sources.sh VERSION MIRROR CODENAME
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: apt-cache madison qt6-base-dev | $0 VERSION MIRROR CODENAME" >&2
  exit 2
fi
version=$1 mirror=$2 codename=$3

# A line of madison: "qt6-base-dev | 6.8.2+dfsg-9 | http://deb.debian.org/debian trixie/main
# amd64 Packages". A suite may hold a slash itself (an old "bookworm/updates"): the component is
# what follows the last one.
{
  echo "deb-src $mirror $codename main"
  awk -F ' [|] ' -v want="$version" '
    function trim(text) { gsub(/^[ \t]+|[ \t]+$/, "", text); return text }
    trim($2) != want { next }
    {
      n = split(trim($3), part, /[ \t]+/)
      if (n < 2 || part[n] != "Packages" || part[2] !~ /.\/./) next
      slash = match(part[2], /\/[^\/]*$/)
      print "deb-src " part[1] " " substr(part[2], 1, slash - 1) " " substr(part[2], slash + 1)
    }
  '
} | awk '!seen[$0]++'
