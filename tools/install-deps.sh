#!/usr/bin/env bash
# Installs from Debian's packages whatever building, running and testing need and is missing.
set -euo pipefail

packages=(
  build-essential cmake
  qt6-base-dev qt6-serialport-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-tidy dpkg-dev
  # tools/check-portability.sh: clang over LLVM's libc++ stands for macOS, MinGW-w64 for Windows
  clang libc++-dev libc++abi-dev g++-mingw-w64-x86-64-posix
  # package checks: desktop entry, AppStream metadata, manual pages, the .deb as a whole
  desktop-file-utils appstream man-db groff-base lintian
  fonts-dejavu-core
  # end-to-end tests: X server, mouse and keys, screen capture, accessibility bus and client;
  # the start-up benchmark also watches the X server with xev (x11-utils)
  xvfb xdotool x11-apps x11-utils qt6-qpa-plugins dbus-daemon at-spi2-core python3-pyatspi
)

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
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q "${missing[@]}"
