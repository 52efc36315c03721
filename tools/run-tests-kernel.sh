#!/usr/bin/env bash
# The kernel lab: the panel built by the Debian 13 stage, run in a virtual machine on Debian's own
# kernel (QEMU, no KVM), against Linux's own serial drivers: an FTDI USB adapter that QEMU plugs
# and unplugs, and the built-in 8250 UART. The guest's root is the Debian 13 chroot, read-only over
# 9p; udev runs there, and the panel runs as an ordinary user in the dialout group under Xvfb.
# The simulated boards run on this machine, on the far end of each adapter and UART.
# tests/kernel/kernel_lab.py holds the scenarios. Needs root and the chroot that
# tools/run-tests-debian13.sh made and built in.
#
#   tools/run-tests-kernel.sh [SCENARIO ...]   all scenarios, or only those named
#   tools/run-tests-kernel.sh --list           their names
#
#   TOLVANE_DEBIAN13_ROOT     the chroot (default /var/cache/tolvane-ci/trixie)
#   TOLVANE_KERNEL_LAB_CACHE  kernel, modules and initramfs (default /var/cache/tolvane-ci/kernel-lab)
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$PWD

# Where the built programs are: the board on this machine, the panel inside the chroot.
board=${TOLVANE_LAB_BOARD:-$tree/build/board/tolvane-board}
build_in_chroot=/root/tolvane/build # the guest sees it as /run/lab/build
panel_in_build=src/app/tolvane
lab=$tree/tests/kernel/kernel_lab.py

root=${TOLVANE_DEBIAN13_ROOT:-/var/cache/tolvane-ci/trixie}
root=$(realpath -m "${root%/}")
cache=${TOLVANE_KERNEL_LAB_CACHE:-/var/cache/tolvane-ci/kernel-lab}
lab_user=tolvane-lab
prepared=/var/lib/tolvane-ci/kernel-lab-ready # inside the chroot
prep_version=1                                # raise when the chroot needs more

if [ "${1:-}" = --list ]; then
  exec python3 "$lab" --list
fi

started=$SECONDS
step() { echo "== kernel lab: $* (at $((SECONDS - started)) s)"; }
stage_name="the kernel lab"
# shellcheck source=tools/cannot-run.sh
source tools/cannot-run.sh

[ "$(id -u)" -eq 0 ] || cannot_run "it needs root (chroot, mounts, the 9p export)"
if ! command -v qemu-system-x86_64 >/dev/null || ! dpkg -s busybox-static >/dev/null 2>&1; then
  step "installing qemu-system-x86 and busybox-static"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    qemu-system-x86 busybox-static >/dev/null ||
    cannot_run "qemu-system-x86 or busybox-static did not install"
fi
[ -f "$root/var/lib/tolvane-ci/chroot-complete" ] ||
  cannot_run "no Debian 13 chroot at $root (tools/run-tests-debian13.sh makes it)"
[ -x "$root$build_in_chroot/$panel_in_build" ] ||
  cannot_run "no panel built in the chroot ($build_in_chroot/$panel_in_build)"
[ -x "$board" ] || cannot_run "no simulated board at $board (tools/build.sh builds it)"

# shellcheck source=tools/chroot-mounts.sh
source tools/chroot-mounts.sh
cleanup() {
  local status=$?
  trap - EXIT HUP INT TERM
  unmount_all || status=1
  [ -n "${work:-}" ] && rm -rf --one-file-system "$work"
  exit "$status"
}

exec 9>"$root.lock"
step "waiting for the chroot's lock"
flock -w 1800 9 || cannot_run "the chroot stayed locked for 30 minutes"
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
work=$(mktemp -d /tmp/tolvane-kernel-lab.XXXXXX)

# ---- the chroot: udev and an ordinary user, added once ----------------------------------------
if [ "$(cat "$root$prepared" 2>/dev/null)" != "$prep_version" ]; then
  step "adding udev and the user $lab_user to the chroot"
  unmount_all
  mount_system
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
    bash -c "apt-get install -y -q --no-install-recommends udev >/dev/null &&
      { id $lab_user >/dev/null 2>&1 || useradd --create-home --groups dialout $lab_user; }" \
    9>&- </dev/null
  echo "$prep_version" >"$root$prepared"
  unmount_all
fi

# ---- kernel, modules and initramfs, cached by the kernel package's version ---------------------
kernel_package=$(apt-cache depends linux-image-amd64 2>/dev/null |
  awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
[ -n "$kernel_package" ] || cannot_run "apt knows no linux-image-amd64 (apt-get update?)"
kernel_version=$(apt-cache policy "$kernel_package" | awk '/Candidate:/ { print $2 }')
modules=(usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio virtio virtio_ring
  virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci virtio_console netfs fscache
  9pnet 9pnet_virtio 9p)
init_script=$(
  cat <<'EOF'
#!/bin/busybox sh
# The initramfs: loads the drivers, mounts the chroot read-only over 9p with room to write on
# tmpfs, and hands over to the lab's own start in the chroot.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs dev /dev
for module in $(cat /modules); do modprobe "$module"; done
# The console is a virtio one, there only now.
for _ in $(seq 50); do [ -c /dev/hvc0 ] && break; sleep 0.1; done
exec </dev/null >/dev/hvc0 2>&1
mkdir -p /newroot
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000,cache=loose root /newroot ||
  { echo "initramfs: the root did not mount"; poweroff -f; }
for folder in tmp run var/tmp; do mount -t tmpfs -o mode=1777 tmpfs "/newroot/$folder"; done
mkdir -p /newroot/run/lab/tests /newroot/run/lab/build
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000 tests /newroot/run/lab/tests
# /root is closed to the user who runs the panel.
mount --bind /newroot@BUILD@ /newroot/run/lab/build
for folder in dev proc sys; do mount --move "/$folder" "/newroot/$folder"; done
exec switch_root /newroot /bin/sh /run/lab/tests/kernel/guest-init.sh
EOF
)
init_script=${init_script//@BUILD@/$build_in_chroot}
key=$(printf '%s\n' "$kernel_package" "$kernel_version" "${modules[*]}" "$init_script" |
  sha256sum | cut -c1-12)
kernel_dir=$cache/$kernel_package-$key
if [ ! -f "$kernel_dir/initramfs.cpio.gz" ]; then
  step "making the kernel and initramfs from $kernel_package $kernel_version"
  rm -rf "$cache/download" "$cache/unpacked" "$kernel_dir"
  mkdir -p "$cache/download" "$cache/unpacked"
  (cd "$cache/download" && apt-get download -q "$kernel_package" >/dev/null 2>&1) ||
    cannot_run "apt-get download $kernel_package failed"
  dpkg-deb -x "$cache"/download/*.deb "$cache/unpacked"
  release=$(ls "$cache/unpacked/lib/modules")
  initramfs=$work/initramfs
  mkdir -p "$initramfs"/{bin,dev,proc,sys,newroot,lib/modules/"$release"}
  cp /bin/busybox "$initramfs/bin/busybox"
  for module in "${modules[@]}"; do
    found=$(find "$cache/unpacked/lib/modules/$release/kernel" -name "$module.ko*" | head -n 1)
    [ -n "$found" ] || { echo "no module $module in $kernel_package" >&2; exit 1; }
    cp "$found" "$initramfs/lib/modules/$release/"
  done
  busybox depmod -b "$initramfs" "$release"
  printf '%s\n' "${modules[@]}" >"$initramfs/modules"
  printf '%s\n' "$init_script" >"$initramfs/init"
  chmod 755 "$initramfs/init"
  mkdir -p "$kernel_dir.new"
  (cd "$initramfs" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$kernel_dir.new/initramfs.cpio.gz"
  cp "$cache/unpacked/boot/vmlinuz-$release" "$kernel_dir.new/vmlinuz"
  echo "$kernel_package $kernel_version" >"$kernel_dir.new/version"
  mv "$kernel_dir.new" "$kernel_dir"
  rm -rf "$cache/download" "$cache/unpacked"
else
  step "reusing the kernel and initramfs of $(cat "$kernel_dir/version")"
fi

# ---- the run ----------------------------------------------------------------------------------
# The guest sees the folder itself: the host's /proc, /sys or /dev must not be mounted below it.
if [ -n "$(mounts_inside)" ]; then
  echo "FAILED: still mounted below $root; it must not be exported so:" >&2
  mounts_inside >&2
  exit 1
fi
step "booting and running the scenarios"
status=0
python3 "$lab" --root "$root" --kernel "$kernel_dir/vmlinuz" \
  --initrd "$kernel_dir/initramfs.cpio.gz" --tests "$tree/tests" --board "$board" \
  --panel "/run/lab/build/$panel_in_build" --user "$lab_user" --work "$work" "$@" || status=$?
step "done, exit status $status"
exit "$status"
