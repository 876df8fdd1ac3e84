#!/bin/sh
# PID 1 of the emulated test machine (no systemd: it would cost a minute of emulated boot). Mounts
# the host's shared folders at their own paths, runs the one job the host gave on the kernel line,
# leaves the job's exit code beside it and powers off.
#   qx.mounts=<tag>:<hex>,...    virtio 9p shares to mount, each at its path (in hexadecimal)
#   qx.job=<hex>                 a shell script on a share (its path in hexadecimal); its exit
#                                code goes to <path>.rc
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
# The initrd hands over /proc, /sys and /dev already mounted.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
for d in /dev/shm /tmp /run; do mount -t tmpfs tmpfs "$d"; done
mount -o remount,rw /
hostname qxvm
ip link set lo up

# A path in hexadecimal, as the host wrote it, back to its bytes.
unhex() { bash -c 'printf "%b" "$(printf "%s" "$1" | sed "s/../\\\\x&/g")"' unhex "$1"; }
mounts="" job=""
for arg in $(cat /proc/cmdline); do
  case "$arg" in
    qx.mounts=*) mounts=${arg#qx.mounts=} ;;
    qx.job=*) job=$(unhex "${arg#qx.job=}") ;;
  esac
done
modprobe -a 9p 9pnet_virtio 2>/dev/null
paths=""
for m in $(echo "$mounts" | tr ',' ' '); do
  path=$(unhex "${m#*:}")
  mkdir -p "$path"
  mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288,cache=loose "${m%%:*}" "$path" \
    || echo "qxvm: could not mount ${m%%:*} at $path"
  paths="$paths${paths:+
}$path"
done

rc=1
if [ -n "$job" ] && [ -f "$job" ]; then
  bash "$job" </dev/null
  rc=$?
else
  echo "qxvm: no job (qx.job=$job)"
fi
echo "$rc" >"$job.rc"
sync
echo "$paths" | while IFS= read -r path; do umount "$path" 2>/dev/null; done
mount -o remount,ro /
sync
echo o >/proc/sysrq-trigger
sleep 60
