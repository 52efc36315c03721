#!/usr/bin/env bash
# Compiles the sources for syntax as macOS and Windows would, over Debian's Qt headers:
#   the files of src/, board/ and tools/ that a macOS build takes, with clang against LLVM's
#   libc++, the standard library of macOS;
#   the files of src/ that a Windows build takes, with MinGW-w64.
# Each system's own files are picked as src/*/CMakeLists.txt picks them: name_win.cpp for Windows
# only; name_mac.cpp for macOS, in place of a name_unix.cpp; name_unix.cpp for the other systems.
# The system is named to ports/port_system.h as the build names it.
# Qt's headers come in as system headers, so only their warnings are ignored; an error or a
# warning in our own code fails the check. Debian's Qt is configured for Linux, so this proves
# syntax and the standard library, not a build: Qt's own macOS-only parts are not compiled.
set -euo pipefail
cd "$(dirname "$0")/.."

headers=$(qtpaths6 --query QT_INSTALL_HEADERS)
flags=(-std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -Isrc -isystem "$headers")
for module in QtCore QtGui QtWidgets QtSerialPort; do
  flags+=(-isystem "$headers/$module")
done
jobs=$(nproc)

# sources SYSTEM FOLDERS...: the .cpp files of the folders that a build for SYSTEM (mac or win)
# takes.
sources() {
  local system=$1 file
  shift
  find "$@" -name '*.cpp' | sort | while IFS= read -r file; do
    case $system:$file in
      mac:*_win.cpp | win:*_unix.cpp | win:*_mac.cpp) ;;
      mac:*_unix.cpp) [ -e "${file%_unix.cpp}_mac.cpp" ] || echo "$file" ;;
      *) echo "$file" ;;
    esac
  done
}

# check NAME SYSTEM COMPILER FLAGS... -- FOLDERS...: compiles each file on its own, in parallel,
# and says whether all compiled.
check() {
  local name=$1 system=$2 compiler=$3
  shift 3
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
  mapfile -t files < <(sources "$system" "$@")
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
check "macOS (clang, libc++)" mac clang++ -stdlib=libc++ -fPIC -Iboard \
  -DTOLVANE_PORT_SYSTEM=MacOs -- src board tools || status=1
check "Windows (MinGW-w64)" win x86_64-w64-mingw32-g++-posix -DTOLVANE_PORT_SYSTEM=Windows \
  -- src || status=1
exit $status
