#!/bin/sh
# PID 1 of the emulated test machine (no systemd: it would cost a minute of emulated boot). Mounts
# the host's shared folders at their own paths, runs the one job the host gave on the kernel line,
# leaves the job's exit code beside it and powers off.
#   qx.mounts=<tag>:<path>,...   virtio 9p shares to mount
#   qx.job=<path>                a shell script on a share; its exit code goes to <path>.rc
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

mounts="" job=""
for arg in $(cat /proc/cmdline); do
  case "$arg" in
    qx.mounts=*) mounts=${arg#qx.mounts=} ;;
    qx.job=*) job=${arg#qx.job=} ;;
  esac
done
modprobe -a 9p 9pnet_virtio 2>/dev/null
for m in $(echo "$mounts" | tr ',' ' '); do
  mkdir -p "${m#*:}"
  mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288,cache=loose "${m%%:*}" "${m#*:}" \
    || echo "qxvm: could not mount ${m%%:*} at ${m#*:}"
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
for m in $(echo "$mounts" | tr ',' ' '); do umount "${m#*:}" 2>/dev/null; done
mount -o remount,ro /
sync
echo o >/proc/sysrq-trigger
sleep 60
