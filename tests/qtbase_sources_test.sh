#!/usr/bin/env bash
# tools/windows/qtbase-sources.sh on what `apt-cache madison qt6-base-dev` prints: a deb-src line
# for the mirror's own suite, and one for each suite that holds the installed version, so that
# `apt-get source` finds a version that came from the security or the updates suite.
set -uo pipefail
script=$1
status=0

mirror="deb-src http://mirror.example/debian bookworm main"
main=" qt6-base-dev | 6.4.2+dfsg-10 | http://deb.example/debian bookworm/main amd64 Packages"
security=" qt6-base-dev | 6.4.2+dfsg-10+deb12u1 | http://deb.example/debian-security bookworm-security/main amd64 Packages"
updates=" qt6-base-dev | 6.4.2+dfsg-10+deb12u2 | http://deb.example/debian bookworm-updates/main amd64 Packages"

# case NAME VERSION MADISON EXPECTED_LINE...
case_() {
  local name=$1 version=$2 madison=$3 got expected
  shift 3
  got=$(printf '%s\n' "$madison" | bash "$script" "$version" http://mirror.example/debian bookworm 2>&1)
  expected=$(printf '%s\n' "$@")
  if [ "$got" != "$expected" ]; then
    printf 'FAIL %s:\n  got:\n%s\n  expected:\n%s\n' "$name" "$got" "$expected"
    status=1
  fi
}

case_ "from the release's own suite" 6.4.2+dfsg-10 "$security
$main" \
  "$mirror" "deb-src http://deb.example/debian bookworm main"
case_ "from the security suite" 6.4.2+dfsg-10+deb12u1 "$security
$main" \
  "$mirror" "deb-src http://deb.example/debian-security bookworm-security main"
case_ "from the updates suite" 6.4.2+dfsg-10+deb12u2 "$updates
$security
$main" \
  "$mirror" "deb-src http://deb.example/debian bookworm-updates main"
case_ "in two suites, the mirror's line once" 6.4.2+dfsg-10 "$main
 qt6-base-dev | 6.4.2+dfsg-10 | http://mirror.example/debian bookworm/main amd64 Packages
 qt6-base-dev | 6.4.2+dfsg-10 | http://other.example/debian bookworm/contrib amd64 Packages" \
  "$mirror" "deb-src http://deb.example/debian bookworm main" \
  "deb-src http://other.example/debian bookworm contrib"
case_ "an old security suite with a slash, a source index, a flat one" 6.4.2+dfsg-10 "\
 qt6-base-dev | 6.4.2+dfsg-10 | http://security.example/debian-security bookworm/updates/main amd64 Packages
 qt6-base-dev | 6.4.2+dfsg-10 | http://deb.example/debian bookworm/main Sources
 qt6-base-dev | 6.4.2+dfsg-10 | http://flat.example/repo ./ Packages" \
  "$mirror" "deb-src http://security.example/debian-security bookworm/updates main"
case_ "only in dpkg's status: the mirror alone" 6.4.2+dfsg-9 "$security
$main" \
  "$mirror"

[ $status -eq 0 ] && echo "qtbase-sources.sh: every case passed"
exit $status
