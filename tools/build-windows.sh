#!/usr/bin/env bash
# Builds Tolvane for 64-bit Windows on Debian, with MinGW-w64, and packs it as a zip and an
# installer. Qt for Windows is built from source the first time: qtbase from Debian's source
# package of the Qt this machine has (the host tools must be the same version), Qt Serial Port
# from ../shared/vendor (checked against its sha256). The built Qt is kept outside the tree,
# keyed on its version, its sources and its configure options, and reused while the key holds.
#
#   tools/build-windows.sh [BUILD_DIR] [CMAKE_OPTION ...]   default BUILD_DIR: build-windows
#
#   TOLVANE_QT_WINDOWS_CACHE  where built Qts are kept (default /var/cache/tolvane-ci as root,
#                             else ~/.cache/tolvane-ci)
#   TOLVANE_VENDOR            the folder with the Qt Serial Port sources (default ../shared/vendor)
#   TOLVANE_DEBIAN_MIRROR     the mirror for qtbase's source (default: the one apt's sources name)
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$PWD
build_dir=${1:-build-windows}
shift || true

started=$SECONDS
step() { echo "== Windows build: $* (at $((SECONDS - started)) s)"; }

tools/install-deps.sh --windows

# ---- Qt for Windows --------------------------------------------------------------------------
source_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
qt_version=${source_version%%+*}
qt_version=${qt_version%%-*}
vendor=${TOLVANE_VENDOR:-$tree/../shared/vendor}
case $qt_version in
  6.4.*) serialport=qtserialport-everywhere-src-6.4.2.tar.xz ;;
  6.8.*) serialport=qtserialport-6.8-693293d.tar.xz ;;
  *)
    echo "no Qt Serial Port sources for Qt $qt_version in $vendor" >&2
    exit 1
    ;;
esac
(cd "$vendor" && sha256sum --quiet -c "$serialport.sha256") || {
  echo "FAILED: $vendor/$serialport is missing or does not match its sha256" >&2
  exit 1
}

# Only what the panel and its tests use: Core, Gui, Widgets, Test, the Windows platform plugin
# (and the offscreen one, which needs FreeType), the Windows styles. Debian's source lacks the
# tablet library; Qt 6.4 compiles its dynamic OpenGL code even with OpenGL off.
qt_options=(
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_tabletevent=OFF -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_xml=OFF -DFEATURE_dbus=OFF
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF
  -DFEATURE_icu=OFF
)
case $qt_version in
  6.4.*) ;;
  *) qt_options+=(-DQT_UNITY_BUILD=ON -DQT_GENERATE_SBOM=OFF) ;;
esac
compiler=$(x86_64-w64-mingw32-g++-posix -dumpfullversion)
key=$( {
  echo "$source_version $compiler"
  cat "$vendor/$serialport.sha256" tools/windows/mingw-w64.cmake
  printf '%s\n' "${qt_options[@]}"
} | sha256sum | cut -c1-12)
if [ "$(id -u)" -eq 0 ]; then
  cache=${TOLVANE_QT_WINDOWS_CACHE:-/var/cache/tolvane-ci}
else
  cache=${TOLVANE_QT_WINDOWS_CACHE:-$HOME/.cache/tolvane-ci}
fi
qt=$cache/qt-windows-$qt_version-$key

build_qt() {
  local work mirror lists
  work=$(mktemp -d "${TMPDIR:-/var/tmp}/tolvane-qt-windows.XXXXXX")
  # shellcheck disable=SC2064 # the folder is fixed now
  trap "rm -rf '$work'" RETURN
  # Built where it stays (Qt's files name their prefix), and marked whole at the very end.
  rm -rf "$qt"
  mkdir -p "$qt"

  step "fetching qtbase $source_version's source"
  mirror=${TOLVANE_DEBIAN_MIRROR:-$(tools/debian-mirror.sh)}
  lists=$work/lists
  mkdir -p "$lists/partial"
  # A list of its own, so that apt's sources on this machine stay as they are.
  # shellcheck source=/dev/null
  echo "deb-src $mirror $(. /etc/os-release && echo "$VERSION_CODENAME") main" >"$work/sources.list"
  local apt_options=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
                     -o Dir::State::Lists="$lists" -o APT::Sandbox::User=root)
  apt-get "${apt_options[@]}" update -qq
  (cd "$work" && apt-get "${apt_options[@]}" source -qq --download-only "qt6-base=$source_version")
  tar -C "$work" -xf "$work"/qt6-base_*.orig.tar.xz
  tar -C "$work" -xf "$vendor/$serialport"

  # Qt's toolchain file loads this one again for every later project.
  cp tools/windows/mingw-w64.cmake "$qt/mingw-w64.cmake"

  step "configuring qtbase $qt_version for Windows"
  cmake -G Ninja -S "$work"/qtbase-everywhere-src-* -B "$work/qtbase" \
    -DCMAKE_TOOLCHAIN_FILE="$qt/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$qt" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x86_64-linux-gnu)/cmake" \
    "${qt_options[@]}" >"$work/qtbase-configure.log" || {
    tail -n 40 "$work/qtbase-configure.log" >&2
    return 1
  }
  step "building qtbase"
  cmake --build "$work/qtbase" >"$work/qtbase-build.log" || {
    grep -B 5 -A 20 -m 3 'FAILED\|error:' "$work/qtbase-build.log" >&2
    return 1
  }
  cmake --install "$work/qtbase" >/dev/null

  step "building Qt Serial Port"
  local serialport_source
  serialport_source=$(tar -tf "$vendor/$serialport" | sed -n 1p)  # all read: no SIGPIPE
  mkdir -p "$work/qtserialport"
  (cd "$work/qtserialport" &&
    "$qt/bin/qt-configure-module" "$work/${serialport_source%%/*}" >configure.log &&
    cmake --build . >build.log && cmake --install . >/dev/null) || {
    tail -n 40 "$work"/qtserialport/*.log >&2
    return 1
  }
  # What a package of the panel must carry beside Qt's libraries.
  mkdir -p "$qt/licenses"
  cp "$work"/qtbase-everywhere-src-*/LICENSES/*.txt "$qt/licenses/"
  echo "qtbase $source_version, $serialport, $(date -u +%FT%TZ)" >"$qt/tolvane-built"
}

if [ -f "$qt/tolvane-built" ]; then
  step "reusing Qt for Windows in $qt ($(cat "$qt/tolvane-built"))"
else
  build_qt
  step "Qt for Windows built in $qt"
fi

# ---- Tolvane -------------------------------------------------------------------------------
step "configuring Tolvane for Windows in $build_dir"
cmake -G Ninja -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DTOLVANE_BUILD_BENCHMARKS=OFF "$@" >/dev/null
step "building"
cmake --build "$build_dir"
step "packing the zip and the installer"
(cd "$build_dir" && cpack -G "ZIP;NSIS" >/dev/null)
# shellcheck source=/dev/null
. "$build_dir/packages.env"
ls -l "$build_dir/$TOLVANE_ZIP" "$build_dir/$TOLVANE_INSTALLER"
step "done"
