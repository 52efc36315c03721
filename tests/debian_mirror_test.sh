#!/usr/bin/env bash
# tools/debian-mirror.sh on apt source folders as Debian writes them: the mirror of the release's
# own suite, never its -security or -updates suite, nor a disabled or a source-only entry.
set -uo pipefail
script=$1
status=0

# case NAME EXPECTED FILE CONTENT [FILE CONTENT ...]: EXPECTED is the mirror, or "none" when the
# script must fail without printing one. The release is always bookworm.
case_() {
  local name=$1 expected=$2 dir got
  shift 2
  dir=$(mktemp -d)
  mkdir "$dir/sources.list.d"
  while [ $# -gt 0 ]; do
    printf '%s\n' "$2" >"$dir/$1"
    shift 2
  done
  got=$(bash "$script" bookworm "$dir" 2>/dev/null) || got=none
  [ -n "$got" ] || got="(nothing)"
  if [ "$got" != "$expected" ]; then
    echo "FAIL $name: got '$got', expected '$expected'"
    status=1
  fi
  rm -rf "$dir"
}

security='Types: deb
URIs: http://security.example/debian-security
Suites: bookworm-security
Components: main'

case_ "deb822, the release then its security suite" http://deb.example/debian \
  sources.list.d/debian.sources "Types: deb
URIs: http://deb.example/debian
Suites: bookworm bookworm-updates
Components: main

$security"
case_ "deb822, the security suite first" http://deb.example/debian \
  sources.list.d/debian.sources "$security

Types: deb
URIs: http://deb.example/debian
Suites: bookworm-updates bookworm"
case_ "deb822, a disabled stanza and a source-only one come first" http://second.example/debian \
  sources.list.d/debian.sources "# a comment
Types: deb
URIs: http://first.example/debian
Suites: bookworm
Enabled: no

Types: deb-src
URIs: http://source.example/debian
Suites: bookworm

types: deb-src deb
uris: http://second.example/debian
  http://third.example/debian
suites:
  bookworm
components: main"
case_ "deb822 is read before a one-line list" http://deb822.example/debian \
  sources.list "deb http://classic.example/debian bookworm main" \
  sources.list.d/debian.sources "Types: deb
URIs: http://deb822.example/debian
Suites: bookworm"
case_ "one-line entries with options, after security and a comment" http://deb.example/debian \
  sources.list "deb http://security.example/debian-security bookworm-security main
# deb http://commented.example/debian bookworm main
deb-src http://source.example/debian bookworm main
deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.example/debian bookworm main"
case_ "one-line entry in sources.list.d, options set apart" http://deb.example/debian \
  sources.list.d/mirror.list "deb [ arch=amd64 ] http://deb.example/debian bookworm main contrib"
case_ "another release only" none \
  sources.list.d/debian.sources "Types: deb
URIs: http://deb.example/debian
Suites: trixie trixie-updates" \
  sources.list "deb http://deb.example/debian bookworm-backports main"

[ $status -eq 0 ] && echo "debian-mirror.sh: every case passed"
exit $status
