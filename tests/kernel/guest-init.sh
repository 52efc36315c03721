#!/bin/sh
# The kernel lab's first process in the guest, on the Debian 13 chroot: starts udev so that the
# adapters present at boot get their permissions and /dev/serial/by-id links, then serves the
# scenarios that the host asks for (kernel_lab.py). The machine ends when this does.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8
fail() {
  echo "guest-init: $*"
  echo o >/proc/sysrq-trigger
  sleep 30
}
mkdir -p /dev/pts /dev/shm /run/lock /run/udev /tmp/.X11-unix
chmod 1777 /run/lock /tmp/.X11-unix
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
hostname lab

udevd=/usr/lib/systemd/systemd-udevd
[ -x "$udevd" ] || udevd=/lib/systemd/systemd-udevd
"$udevd" --daemon || fail "udevd did not start"
# Listening first: the adapters present at boot are announced again only after this.
udevadm control --ping --timeout=30 || fail "udevd does not answer"
udevadm trigger --type=subsystems --action=add
udevadm trigger --type=devices --action=add
udevadm settle --timeout=60 || fail "udev did not settle"
# The adapters plugged in at boot (the host says how many) may still be on their way.
adapters=$(sed -n 's/.*lab\.adapters=\([0-9]*\).*/\1/p' /proc/cmdline)
tries=0
while [ "$(ls /dev/ttyUSB* 2>/dev/null | wc -l)" -lt "${adapters:-0}" ] && [ $tries -lt 150 ]; do
  sleep 0.1
  tries=$((tries + 1))
done
udevadm settle --timeout=60 || fail "udev did not settle"

python3 /run/lab/tests/kernel/kernel_lab.py --serve "$@" || echo "guest-init: the lab ended with $?"
echo o >/proc/sysrq-trigger
sleep 30
