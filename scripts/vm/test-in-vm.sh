#!/usr/bin/env bash
# One build folder's Wine suite inside the emulated machine (image.sh's image, built beforehand),
# against the host's source and build folders; ctest's summary is read back from the shared log
# (and left in <build-dir>/vm-run/summary).
#   test-in-vm.sh <image-dir> <build-dir> [ctest arguments]
# Exit code: ctest's inside the machine; 1 when the machine gave none or ctest printed no summary.
# QX_VM_LIMIT_S bounds the whole run (default 2700 s).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
image=${1:?usage: test-in-vm.sh <image-dir> <build-dir> [ctest arguments]}
build=$(cd "${2:?usage}" && pwd)
shift 2

run=$build/vm-run
mkdir -p "$run"
rm -f "$run/ctest.log" "$run/summary"
{
  printf 'exec bash %q %q %q' "$here/suite.sh" "$build" "$run/ctest.log"
  printf ' %q' "$@"
  printf '\n'
} >"$run/job.sh"
bash "$here/run.sh" "$image" "${QX_VM_LIMIT_S:-2700}" "$run/job.sh" "$root" "$build"
rc=$?
summary=$(grep -E '^[0-9]+% tests passed' "$run/ctest.log" 2>/dev/null | tail -n 1)
echo "${summary:-no summary (ctest did not finish)}" >"$run/summary"
echo "vm: ctest in the machine: $(cat "$run/summary")"
[ -n "$summary" ] || [ "$rc" -ne 0 ] || rc=1
exit "$rc"
