#!/usr/bin/env bash
# Installs from Debian's packages whatever building, running and testing need and is missing.
# The same names serve Debian 12 (Qt 6.4) and Debian 13 (Qt 6.8).
#   --tests-only   what building and ctest need, without the benchmarks, lintian and clang-tidy
#   --windows      what building for Windows needs (tools/windows/build.sh), and no more
#   --wine         --tests-only and Wine, for the panel built for Windows (Debian 13's Wine 10)
set -euo pipefail

packages=(
  build-essential cmake
  qt6-base-dev qt6-serialport-dev
  libgtest-dev libgmock-dev
  # package checks: desktop entry, AppStream metadata, manual pages
  desktop-file-utils appstream man-db groff-base
  fonts-dejavu-core
  # end-to-end tests: X server, mouse and keys, screen capture, accessibility bus and client
  xvfb xdotool x11-apps qt6-qpa-plugins dbus-daemon at-spi2-core python3-pyatspi
)
# Recommended packages come along, but for Windows and Wine: there they are many and unused.
recommends=()
case "${1:-}" in
  --tests-only) ;;
  --windows)
    # dpkg-dev: dpkg-architecture, which names the folder of the host Qt's CMake files
    packages=(cmake ninja-build qt6-base-dev g++-mingw-w64-x86-64-posix nsis googletest xz-utils
              dpkg-dev)
    recommends=(--no-install-recommends)
    ;;
  --wine)
    packages+=(wine wine64)
    recommends=(--no-install-recommends)
    ;;
  "")
    # the benchmarks (the start-up benchmark watches the X server with xev, from x11-utils),
    # the checks of the .deb as a whole and of the sources; tools/check-portability.sh: clang
    # over LLVM's libc++ stands for macOS, MinGW-w64 for Windows
    packages+=(libbenchmark-dev x11-utils dpkg-dev lintian clang-tidy
               clang libc++-dev libc++abi-dev g++-mingw-w64-x86-64-posix)
    ;;
  *)
    echo "usage: $0 [--tests-only | --windows | --wine]" >&2
    exit 2
    ;;
esac

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q "${recommends[@]}" "${missing[@]}"
