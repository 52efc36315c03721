#!/usr/bin/env bash
# Quick start: installs what is missing, builds, starts the simulated board on a pseudo-terminal
# and opens the panel on it. The board prints every command it receives and shows its eight servos
# in a window of its own, on a line paced as a real one at 2400 baud behind a USB adapter that hands
# replies over every 16 ms.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: run this from a desktop session (or set DISPLAY)." >&2
  exit 1
fi

workdir=$(mktemp -d)
board_pid=
cleanup() {
  [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null && wait "$board_pid" 2>/dev/null
  rm -rf "$workdir"
}
trap cleanup EXIT

build/board/tolvane-board --window --baud 2400 --latency 16 --link "$workdir/COM1" &
board_pid=$!
for _ in $(seq 100); do
  [ -e "$workdir/COM1" ] && break
  sleep 0.05
done

TOLVANE_COM1="$workdir/COM1" TOLVANE_COM2="${TOLVANE_COM2:-$workdir/COM2}" build/src/app/tolvane
