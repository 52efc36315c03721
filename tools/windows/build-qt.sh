#!/usr/bin/env bash
# Builds Qt for 64-bit Windows with MinGW-w64, once, and prints the folder it is in (the only line
# on standard output). qtbase comes from Debian's source package of the Qt this machine has (the
# host tools must be the same version), Qt Serial Port from ../shared/vendor, checked against
# vendor.sha256 beside this script. The built Qt is kept outside the tree, keyed on its version,
# its sources, the compiler and the configure options, and reused while the key holds.
#
#   qt=$(tools/windows/build-qt.sh)
#
#   TOLVANE_QT_WINDOWS_CACHE  where built Qts are kept (default /var/cache/tolvane-ci as root,
#                             else ~/.cache/tolvane-ci)
#   TOLVANE_VENDOR            the folder with the Qt Serial Port sources (default ../shared/vendor)
#   TOLVANE_DEBIAN_MIRROR     the mirror for qtbase's source (default: the one apt's sources name)
set -euo pipefail
cd "$(dirname "$0")/../.."
tree=$PWD
exec 3>&1 1>&2 # what is said goes to standard error; the folder alone to standard output

started=$SECONDS
step() { echo "== Qt for Windows: $* (at $((SECONDS - started)) s)"; }

tools/install-deps.sh --windows

source_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
qt_version=${source_version%%+*}
qt_version=${qt_version%%-*}
vendor=${TOLVANE_VENDOR:-$tree/../shared/vendor}
manifest=$tree/tools/windows/vendor.sha256
case $qt_version in
  6.4.*) serialport=qtserialport-everywhere-src-6.4.2.tar.xz ;;
  6.8.*) serialport=qtserialport-6.8-693293d.tar.xz ;;
  *)
    echo "no Qt Serial Port sources for Qt $qt_version" >&2
    exit 1
    ;;
esac
checksum=$(awk -v name="$serialport" '$2 == name' "$manifest")
if [ -z "$checksum" ]; then
  echo "FAILED: $serialport has no sha256 in $manifest" >&2
  exit 1
fi
(cd "$vendor" && sha256sum --quiet --strict -c <<<"$checksum") || {
  echo "FAILED: $vendor/$serialport is missing or does not match its sha256 in $manifest" >&2
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
# The archive's line as sha256sum writes it, the same bytes its .sha256 file in the vendor folder
# holds, so that Qts built before the manifest keep their key.
key=$( {
  echo "$source_version $compiler"
  echo "$checksum"
  cat tools/windows/mingw-w64.cmake
  printf '%s\n' "${qt_options[@]}"
} | sha256sum | cut -c1-12)
if [ "$(id -u)" -eq 0 ]; then
  cache=${TOLVANE_QT_WINDOWS_CACHE:-/var/cache/tolvane-ci}
else
  cache=${TOLVANE_QT_WINDOWS_CACHE:-$HOME/.cache/tolvane-ci}
fi
qt=$cache/qt-windows-$qt_version-$key

if [ -f "$qt/tolvane-built" ]; then
  step "reusing $qt ($(cat "$qt/tolvane-built"))"
  echo "$qt" >&3
  exit 0
fi

# The work folder holds several GB: it goes however the script ends, and so does a Qt that was
# not finished (it has no marker, and the next run starts it afresh).
work=$(mktemp -d "${TMPDIR:-/var/tmp}/tolvane-qt-windows.XXXXXX")
clean_up() {
  rm -rf "$work"
  [ -f "$qt/tolvane-built" ] || rm -rf "$qt"
}
trap clean_up EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
# Built where it stays (Qt's files name their prefix), and marked whole at the very end.
rm -rf "$qt"
mkdir -p "$qt"

step "fetching qtbase $source_version's source"
mirror=${TOLVANE_DEBIAN_MIRROR:-$(tools/debian-mirror.sh)}
# shellcheck source=/dev/null
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
lists=$work/lists
mkdir -p "$lists/partial"
# A list of its own, so that apt's sources on this machine stay as they are.
apt-cache madison qt6-base-dev |
  tools/windows/qtbase-sources.sh "$(dpkg-query -W -f='${Version}' qt6-base-dev)" "$mirror" \
    "$codename" >"$work/sources.list"
sed 's/^/   /' "$work/sources.list"
apt_options=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
             -o Dir::State::Lists="$lists" -o APT::Sandbox::User=root)
apt-get "${apt_options[@]}" update -qq
(cd "$work" && apt-get "${apt_options[@]}" source -qq --download-only "qt6-base=$source_version")
tar -C "$work" -xf "$work"/qt6-base_*.orig.tar.xz
tar -C "$work" -xf "$vendor/$serialport"

# Qt's toolchain file loads this one again for every later project.
cp tools/windows/mingw-w64.cmake "$qt/mingw-w64.cmake"

step "configuring qtbase $qt_version"
cmake -G Ninja -S "$work"/qtbase-everywhere-src-* -B "$work/qtbase" \
  -DCMAKE_TOOLCHAIN_FILE="$qt/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$qt" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake" \
  "${qt_options[@]}" >"$work/qtbase-configure.log" || {
  tail -n 40 "$work/qtbase-configure.log" >&2
  exit 1
}
step "building qtbase"
cmake --build "$work/qtbase" -j"$(nproc)" >"$work/qtbase-build.log" || {
  grep -B 5 -A 20 -m 3 'FAILED\|error:' "$work/qtbase-build.log" >&2
  exit 1
}
cmake --install "$work/qtbase" >/dev/null

step "building Qt Serial Port"
serialport_source=$(tar -tf "$vendor/$serialport" | sed -n 1p) # all read: no SIGPIPE
mkdir -p "$work/qtserialport"
(cd "$work/qtserialport" &&
  "$qt/bin/qt-configure-module" "$work/${serialport_source%%/*}" >configure.log &&
  cmake --build . -j"$(nproc)" >build.log && cmake --install . >/dev/null) || {
  tail -n 40 "$work"/qtserialport/*.log >&2
  exit 1
}
# What a package of the panel must carry beside Qt's libraries.
mkdir -p "$qt/licenses"
cp "$work"/qtbase-everywhere-src-*/LICENSES/*.txt "$qt/licenses/"
echo "qtbase $source_version, $serialport, $(date -u +%FT%TZ)" >"$qt/tolvane-built"
step "built in $qt"
echo "$qt" >&3
