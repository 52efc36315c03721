#!/usr/bin/env bash
# Compiles the sources for syntax as macOS and Windows would, over Debian's Qt headers:
#   every file of src/, board/ and tools/ with clang against LLVM's libc++, the standard library of
#   macOS;
#   every file of src/ with MinGW-w64, for Windows (its Q_OS_WIN code is compiled there).
# Qt's headers come in as system headers, so only their warnings are ignored; an error or a
# warning in our own code fails the check. Debian's Qt is configured for Linux, so this proves
# syntax and the standard library, not a build: macOS-only code is not compiled at all.
set -euo pipefail
cd "$(dirname "$0")/.."

headers=$(qtpaths6 --query QT_INSTALL_HEADERS)
flags=(-std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -Isrc -isystem "$headers")
for module in QtCore QtGui QtWidgets QtSerialPort; do
  flags+=(-isystem "$headers/$module")
done
jobs=$(nproc)

# check NAME COMPILER FLAGS... -- FOLDERS...: compiles each file on its own, in parallel, and
# says whether all compiled.
check() {
  local name=$1 compiler=$2
  shift 2
  local extra=()
  while [ "$1" != -- ]; do
    extra+=("$1")
    shift
  done
  shift
  if ! command -v "$compiler" >/dev/null; then
    echo "portability: FAILED for $name: $compiler is missing (tools/install-deps.sh installs it)" >&2
    return 1
  fi
  local files
  mapfile -t files < <(find "$@" -name '*.cpp' | sort)
  local start=$SECONDS
  if ! printf '%s\0' "${files[@]}" |
    xargs -0 -n 1 -P "$jobs" "$compiler" "${flags[@]}" "${extra[@]}"; then
    echo "portability: FAILED for $name: see the errors above" >&2
    return 1
  fi
  echo "portability: ${#files[@]} files compile for $name ($((SECONDS - start)) s)"
}

# -fPIC: Qt's headers refuse code that is not position independent on ELF systems.
status=0
check "macOS (clang, libc++)" clang++ -stdlib=libc++ -fPIC -Iboard -- src board tools || status=1
check "Windows (MinGW-w64)" x86_64-w64-mingw32-g++-posix -- src || status=1
exit $status
