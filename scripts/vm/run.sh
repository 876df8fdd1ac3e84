#!/usr/bin/env bash
# Boots the emulated test machine (image.sh's image) once, runs one job in it and ends it.
#   run.sh <image-dir> <limit-seconds> <job-script> [host-folder...]
# The job's folder and the host folders are shared with the machine at their own paths, so paths
# compiled into test programs hold inside it too. The machine's console (the job's output) is
# shown as it comes; the exit code is the job's. The disk is used as a snapshot (nothing a run
# writes stays) unless QX_VM_PERSIST=1. Past the limit the machine is ended by its process id.
set -euo pipefail
usage="usage: run.sh <image-dir> <limit-seconds> <job-script> [host-folder...]"
image=${1:?$usage} limit=${2:?$usage} job=${3:?$usage}
shift 3
job=$(cd "$(dirname "$job")" && pwd)/$(basename "$job")

# The folders travel on the kernel line in hexadecimal, whatever their names hold (blanks,
# Korean letters); none inside another.
shares=()
for f in "$(dirname "$job")" "$@"; do
  shares+=("$(cd "$f" && pwd)")
done
hex() { printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n'; }
mapfile -t shares < <(printf '%s\n' "${shares[@]}" | sort -u)
kept=()
for f in "${shares[@]}"; do
  inside=0
  for g in "${shares[@]}"; do [ "$g" != "$f" ] && [[ "$f/" == "$g/"* ]] && inside=1; done
  [ "$inside" = 1 ] || kept+=("$f")
done

qemu=("${QX_VM_QEMU:-qemu-system-x86_64}" -machine pc -accel tcg,thread=multi
  # -smap: QEMU 7.2's emulated iret would otherwise fault on every return to 32-bit user code.
  -cpu max,-smap -m 4096 -smp "$(nproc)"
  -kernel "$image/vmlinuz" -initrd "$image/initrd.img"
  -drive "file=${image//,/,,}/disk.img,if=virtio,format=raw"
  -nic none -display none -monitor none -serial stdio -no-reboot)
[ "${QX_VM_PERSIST:-0}" = 1 ] || qemu+=(-snapshot)
mounts=""
for i in "${!kept[@]}"; do
  # QEMU's option syntax takes a comma in a value as two.
  qemu+=(-virtfs "local,path=${kept[$i]//,/,,},mount_tag=qx$i,security_model=passthrough,id=qx$i")
  mounts+="${mounts:+,}qx$i:$(hex "${kept[$i]}")"
done
# tsc: process starts are about a third faster than with the emulated HPET.
qemu+=(-append "root=/dev/vda rw console=ttyS0 quiet loglevel=3 clocksource=tsc tsc=reliable init=/sbin/qxinit qx.mounts=$mounts qx.job=$(hex "$job")")

rm -f "$job.rc"
log=$(mktemp)
qpid=""
stop_vm() {
  if [ -n "$qpid" ] && kill -0 "$qpid" 2>/dev/null; then
    kill "$qpid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$qpid" 2>/dev/null || break; sleep 0.2; done
    kill -9 "$qpid" 2>/dev/null || true
  fi
  rm -f "$log"
}
trap stop_vm EXIT
trap 'exit 130' INT TERM
started=$(date +%s)
"${qemu[@]}" </dev/null >"$log" 2>&1 &
qpid=$!
tail -n +1 -f --pid="$qpid" "$log" | sed -u "s/\r//g" &
while kill -0 "$qpid" 2>/dev/null; do
  if [ $(( $(date +%s) - started )) -ge "$limit" ]; then
    echo "vm: the machine did not end within $limit s; ending it"
    break
  fi
  sleep 1
done
stop_vm
wait "$qpid" 2>/dev/null || true
wait 2>/dev/null || true
if [ ! -f "$job.rc" ]; then
  echo "vm: the machine ended without the job's exit code (after $(( $(date +%s) - started )) s)" >&2
  exit 1
fi
rc=$(cat "$job.rc")
echo "vm: job ended with $rc after $(( $(date +%s) - started )) s"
exit "$rc"
