# The mounts a chroot of CI's needs, and their removal: sourced by tools/run-tests-debian13.sh and
# tools/run-tests-kernel.sh, which set `root` to the chroot's folder first.

# Every mount point at or below the chroot, deepest first.
mounts_inside() {
  findmnt -rn -o TARGET | awk -v root="$root" '$0 == root || index($0, root "/") == 1' | sort -r
}

# Processes left running inside the chroot (an X server of a test that was killed, say) keep its
# mounts busy; they are ours, started by these scripts.
end_processes_inside() {
  local signal pid pids
  for signal in TERM KILL; do
    pids=()
    for pid in /proc/[0-9]*; do
      [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ] && pids+=("${pid#/proc/}")
    done
    [ ${#pids[@]} -eq 0 ] && return 0
    kill -s "$signal" "${pids[@]}" 2>/dev/null || true
    sleep 1
  done
}

# Unmounts everything below the chroot. The recursive bind of /dev is made a slave first, so that
# unmounting its submounts cannot take the machine's own /dev/pts or /dev/shm with it.
unmount_all() {
  local target
  end_processes_inside
  if findmnt -rn --mountpoint "$root/dev" >/dev/null; then
    mount --make-rslave "$root/dev"
  fi
  for target in $(mounts_inside); do
    umount "$target" 2>/dev/null || umount -l "$target" || true
  done
  if [ -n "$(mounts_inside)" ]; then
    echo "STILL MOUNTED below $root (unmount by hand; never delete or export the folder now):" >&2
    mounts_inside >&2
    return 1
  fi
}

# What programs inside need of the machine: proc, sysfs, /dev with /dev/pts and /dev/shm, and the
# name servers (a copy: a link would be followed out of the chroot).
mount_system() {
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount --rbind /dev "$root/dev"
  mount --make-rslave "$root/dev"
  rm -f "$root/etc/resolv.conf"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
}
