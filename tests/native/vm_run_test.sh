#!/usr/bin/env bash
# The emulated machine's plumbing (scripts/vm) with a stand-in for QEMU that runs the job here, as
# the machine's init would: the job's exit code and ctest's summary come back, a failing test fails
# the run, a machine that never ends is ended by its process id within the bound.
# Usage: vm_run_test.sh <source dir>   (as root: the suite job bind-mounts its state folder)
set -uo pipefail
vm=$1/scripts/vm work=$(mktemp -d) failures=0
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/image" "$work/jobs" "$work/build" "$work/a b,한글"
cat >"$work/qemu" <<'QEMU'
#!/usr/bin/env bash
printf '%s\n' "$@" >"$QX_TEST_ARGS"
job=$(printf '%b' "$(printf '%s\n' "$@" | grep '^root=' | tr ' ' '\n' | sed -n 's/^qx\.job=//p' | sed 's/../\\x&/g')")
case "$(head -n 1 "$job")" in "# never ends") exec sleep 600 ;; "# ends at once") exit 0 ;; esac
bash "$job" </dev/null; echo $? >"$job.rc"
QEMU
chmod +x "$work/qemu"
export QX_VM_QEMU=$work/qemu QX_TEST_ARGS=$work/args

# expect <name> <exit code> <text the output must hold> <command...>
expect() {
  local name=$1 want_rc=$2 want_text=$3 out rc=0
  shift 3
  out=$("$@" 2>&1) || rc=$?
  [ "$rc" -eq "$want_rc" ] && [[ "$out" == *"$want_text"* ]] && { echo "ok   $name"; return; }
  echo "FAIL $name: exit $rc (wanted $want_rc and '$want_text'); output:"; echo "$out" | tail -n 15
  failures=$((failures + 1))
}
job() { printf '%s\n' "$2" >"$work/jobs/$1.sh"; echo "$work/jobs/$1.sh"; }

expect job-passes   0 "hello from the job" bash "$vm/run.sh" "$work/image" 30 "$(job pass 'echo hello from the job')"
for want in -snapshot max,-smap "local,path=$work/jobs,mount_tag=qx0,security_model=passthrough"; do
  grep -qF -- "$want" "$work/args" || { echo "FAIL machine-arguments: no '$want'"; failures=$((failures + 1)); }
done
expect job-fails    3 "job ended with 3"   bash "$vm/run.sh" "$work/image" 30 "$(job fail 'exit 3')"
expect no-exit-code 1 "without the job's exit code" bash "$vm/run.sh" "$work/image" 30 "$(job gone '# ends at once')"
expect never-ends   1 "did not end within 2 s" bash "$vm/run.sh" "$work/image" 2 "$(job hang '# never ends')"
pgrep -f "^sleep 600$" >/dev/null && { echo "FAIL never-ends: the machine was left running"; failures=$((failures + 1)); }
# Any name is shared: the kernel line carries it in hexadecimal, QEMU's option a comma doubled.
expect odd-share    0 "job ended with 0" bash "$vm/run.sh" "$work/image" 30 "$(job pass 'true')" "$work/a b,한글"
grep -qF -- "local,path=$work/a b,,한글,mount_tag=" "$work/args" || { echo "FAIL odd-share: not shared"; failures=$((failures + 1)); }

# A suite run "inside": ctest's summary is read back; one failing test fails the whole run.
printf 'add_test(ok true)\nadd_test(broken false)\n' >"$work/build/CTestTestfile.cmake"
expect suite-fails  8 "ctest in the machine: 50% tests passed, 1 tests failed out of 2" \
  bash "$vm/test-in-vm.sh" "$work/image" "$work/build"
expect suite-passes 0 "ctest in the machine: 100% tests passed, 0 tests failed out of 1" \
  bash "$vm/test-in-vm.sh" "$work/image" "$work/build" -R '^ok$'
mountpoint -q "$work/build/teststate" && { echo "FAIL suite: state left mounted"; umount "$work/build/teststate"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] && echo "vm_run: all cases passed"
exit "$failures"
