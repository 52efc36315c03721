#!/usr/bin/env bash
# Builds this tree again on Debian 13 (trixie, Qt 6.8) and runs every ctest test there, inside a
# chroot that it makes itself with debootstrap from the Debian mirror that this machine's own apt
# sources name. Needs root. The chroot stays outside the tree and is reused by later runs while
# it is whole: its marker file is written only after a complete setup.
#
#   tools/run-tests-debian13.sh [CTEST_OPTION ...]   e.g. -R e2e: only the tests that match
#   tools/run-tests-debian13.sh --run COMMAND ...     e.g. --run tools/run-tests.sh, the whole
#                                                     suite with its checks; nothing else is run
#
#   TOLVANE_DEBIAN13_ROOT   where the chroot lives (default /var/cache/tolvane-ci/trixie)
#   TOLVANE_DEBIAN_MIRROR   a mirror to use instead of the one the apt sources name
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$PWD

release=trixie
root=${TOLVANE_DEBIAN13_ROOT:-/var/cache/tolvane-ci/$release}
root=${root%/}
marker=/var/lib/tolvane-ci/chroot-complete # inside the chroot
inside=/root/tolvane                       # the copy of this tree inside the chroot

stage_name="the Debian 13 stage"
# shellcheck source=tools/cannot-run.sh
source tools/cannot-run.sh
[ "$(id -u)" -eq 0 ] || cannot_run "it needs root (debootstrap, chroot, mounts)"
# The folder is deleted and remade when it is not whole: an absolute path, two levels deep at
# least, without blanks (mount points are compared as findmnt prints them).
if [[ ! "$root" =~ ^/[^[:space:]]+/[^[:space:]]+$ ]]; then
  echo "refusing chroot folder '$root': an absolute path without blanks, two levels deep" >&2
  exit 2
fi
root=$(realpath -m "$root")

started=$SECONDS
step() { echo "== Debian 13: $* (at $((SECONDS - started)) s)"; }

# shellcheck source=tools/chroot-mounts.sh
source tools/chroot-mounts.sh

cleanup() {
  local status=$?
  trap - EXIT HUP INT TERM
  unmount_all || status=1
  exit "$status"
}

whole() {
  [ -f "$root$marker" ] && [ -f "$root/etc/os-release" ] &&
    grep -qx "VERSION_CODENAME=$release" "$root/etc/os-release"
}

make_chroot() {
  local mirror
  mirror=${TOLVANE_DEBIAN_MIRROR:-$(tools/debian-mirror.sh)}
  if [ -e "$root" ]; then
    # Deleting a folder with /proc, /sys or /dev mounted inside would delete the machine's own.
    if [ -n "$(mounts_inside)" ]; then
      echo "refusing to delete $root: still mounted below it" >&2
      mounts_inside >&2
      return 1
    fi
    step "deleting the incomplete chroot $root"
    rm -rf --one-file-system "$root"
  fi
  step "debootstrap --variant=minbase $release from $mirror"
  mkdir -p "$root"
  debootstrap --variant=minbase "$release" "$root" "$mirror" >"$root.debootstrap.log" 2>&1 || {
    tail -n 30 "$root.debootstrap.log" >&2
    return 1
  }
  mkdir -p "$root$(dirname "$marker")"
  echo "$release from $mirror, $(date -u +%FT%TZ)" >"$root$marker"
}

# debootstrap itself comes from this machine's Debian.
if ! command -v debootstrap >/dev/null; then
  step "installing debootstrap"
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap debian-archive-keyring
fi

mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9 # one run at a time uses the chroot
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
unmount_all # whatever a run that was killed left mounted

if whole; then
  step "reusing the chroot $root ($(cat "$root$marker"))"
else
  make_chroot
fi

mount_system

step "copying the tree to $inside"
rm -rf --one-file-system "$root$inside"
mkdir -p "$root$inside"
tar -C "$tree" --exclude=./.git --exclude='./build*' --exclude=./.cache -cf - . |
  tar -C "$root$inside" -xf -
# Sources the mirror lacks (Qt Serial Port, for the Windows build) sit beside the tree, as here.
if [ -d "$tree/../shared/vendor" ]; then
  rm -rf --one-file-system "$root$inside/../shared"
  mkdir -p "$root$inside/../shared"
  cp -r "$tree/../shared/vendor" "$root$inside/../shared/vendor"
fi

# Waited for in the background, so that a signal to this script unmounts at once rather than
# when the command ends (the clean-up ends whatever still runs inside).
in_chroot() {
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    TERM="${TERM:-dumb}" CI="${CI:-}" bash -c "cd $inside && $1" 9>&- </dev/null &
  wait $!
}
in_chroot "dpkg --configure -a"
status=0
if [ "${1:-}" = --run ]; then
  shift
  step "running: $*"
  in_chroot "$*" || status=$?
else
  step "installing what is missing"
  in_chroot "tools/install-deps.sh --tests-only"
  step "building, without the benchmarks"
  in_chroot "tools/build.sh build -DTOLVANE_BUILD_BENCHMARKS=OFF"
  step "running every ctest test"
  in_chroot "QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure \
    -j\"\$(nproc)\" --timeout 300 ${*@Q}" || status=$?
fi
step "done, exit status $status"
exit "$status"
