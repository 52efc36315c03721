#!/usr/bin/env bash
# tools/run-tests-windows.sh without root: it must not pass. Outside CI it says SKIPPED and ends
# with 77; under CI it says FAILED and ends with 1; either way it touches nothing. Run as root,
# the stage runs as the user nobody, from a copy of the script in a folder nobody may read.
set -uo pipefail
script=$1
status=0

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir "$tree/tools"
cp "$script" "$tree/tools/run-tests-windows.sh"
cp "$(dirname "$script")/cannot-run.sh" "$tree/tools/"
chmod -R a+rX "$tree"
as_user=()
[ "$(id -u)" -ne 0 ] || as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)

# case NAME CI EXIT WORD
case_() {
  local name=$1 ci=$2 expected_exit=$3 word=$4 got_exit out
  out=$(cd "$tree" && env CI="$ci" "${as_user[@]}" bash tools/run-tests-windows.sh 2>&1)
  got_exit=$?
  if [ "$got_exit" != "$expected_exit" ] || [[ $out != "$word: "* ]]; then
    echo "FAIL $name: exit $got_exit, said '$out'; expected exit $expected_exit and '$word: ...'"
    status=1
  fi
}

case_ "a developer's run" "" 77 SKIPPED
case_ "under CI" 1 1 FAILED
if [ "$(ls -A "$tree")" != tools ]; then
  echo "FAIL: the run without root left $(ls -A "$tree")"
  status=1
fi

[ $status -eq 0 ] && echo "run-tests-windows.sh without root: every case passed"
exit $status
