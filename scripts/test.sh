#!/usr/bin/env bash
# Runs every test from a fresh machine: installs the packages, builds both architectures, and runs
# ctest in each build folder, whose fixtures start the virtual display, a fresh Wine prefix and the
# loopback server and stop them afterwards:
#   - the 64-bit twin (build/x86_64): the whole suite, on every machine;
#   - the shipped 32-bit DLL (build/i686): the whole suite where this machine can execute 32-bit
#     code (found by trying its loader); where it cannot, its native tests here (the static check
#     of the shipped DLL against the twin among them) and its Wine suite inside an emulated x86-64
#     machine that can (scripts/vm: the image is built once, about 3 minutes, and kept under the
#     build folder until its recipe changes).
# Extra arguments go to ctest (e.g. -R WorldLaunch). QX_ARCHS="x86_64" or "i686" runs one
# architecture's suite only (both are still built: the static check compares them).
# QX_I686_VM=0 never uses the emulated machine (the native tests only, where 32-bit code does not
# run); QX_I686_VM=1 always does, also where 32-bit code runs here.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
buildroot=${QX_BUILD_ROOT:-$root/build}
archs=${QX_ARCHS:-x86_64 i686}

bash "$root/scripts/install-deps.sh"

i686_why=""
i686_why=$(bash "$root/scripts/wine.sh" i686 --probe) || true
use_vm=0
case "${QX_I686_VM:-}" in
  "") [ -z "$i686_why" ] || use_vm=1 ;;
  0|1) use_vm=$QX_I686_VM ;;
  *) echo "test: QX_I686_VM is 0, 1 or unset, not '$QX_I686_VM'" >&2; exit 2 ;;
esac
[[ " $archs " == *" i686 "* ]] || use_vm=0
image_pid=""
# Whatever happens to the build or ctest, nothing of either environment is left running.
cleanup() {
  if [ -n "$image_pid" ]; then kill "$image_pid" 2>/dev/null || true; wait "$image_pid" 2>/dev/null || true; fi
  for arch in i686 x86_64; do
    bash "$root/tests/support/testenv.sh" stop "$buildroot/$arch/teststate" "$root" >/dev/null 2>&1 || true
  done
}
trap cleanup EXIT
# The image is mostly downloads: it is made while the compilers take the processors.
if [ "$use_vm" = 1 ]; then
  mkdir -p "$buildroot"
  bash "$root/scripts/vm/image.sh" "$buildroot/vm" >"$buildroot/vm-image.log" 2>&1 &
  image_pid=$!
fi
QX_BUILD_ROOT=$buildroot bash "$root/scripts/build.sh" i686 x86_64
# No test runs beside the image's package installation: a fresh Wine prefix failed beside it once.
image_rc=0
if [ -n "$image_pid" ]; then
  echo "== the emulated machine's image"
  wait "$image_pid" || image_rc=$?
  image_pid=""
  cat "$buildroot/vm-image.log"
fi

# Test programs run side by side, each in a test environment of its own (testenv.sh makes as many),
# one more than the machine has processors: a Wine test spends much of its time waiting on windows
# and processes.
jobs=(-j "$(($(nproc) + 1))")
failed=() summary=() shared=()
for arch in $archs; do
  case "$arch" in
    x86_64) what="64-bit twin" ;;
    i686) what="32-bit product" ;;
    *) echo "test: unknown architecture '$arch' in QX_ARCHS (i686, x86_64)" >&2; exit 2 ;;
  esac
  # The tests that test no build of one architecture run with the first only.
  selection=("${shared[@]}")
  shared=(-LE shared)
  if [ "$arch" = i686 ] && [ "$use_vm" = 1 ]; then
    selection+=(-L native)
    started=$(date +%s)
    if [ "$image_rc" != 0 ]; then
      failed+=("$arch (the emulated machine's image)")
      summary+=("$arch ($what): its Wine suite did not run: the emulated machine's image failed")
    else
      echo "== ctest: $arch -LE native, in the emulated machine"
      vm_rc=0
      bash "$root/scripts/vm/test-in-vm.sh" "$buildroot/vm" "$buildroot/$arch" -LE native "$@" || vm_rc=$?
      [ "$vm_rc" = 0 ] || failed+=("$arch (in the emulated machine)")
      summary+=("$arch ($what): whole Wine suite in the emulated VM ($(( $(date +%s) - started )) s:" \
                "    $(cat "$buildroot/$arch/vm-run/summary" 2>/dev/null || echo 'no summary'))," \
                "    native tests here${i686_why:+ ($i686_why)}")
    fi
  elif [ "$arch" = i686 ] && [ -n "$i686_why" ]; then
    selection+=(-L native)
    summary+=("$arch ($what): native tests only (the static check of the shipped DLL among them);"
              "    its Wine suite was left out (QX_I686_VM=0): $i686_why")
  else
    summary+=("$arch ($what): whole suite under Wine")
  fi
  echo "== ctest: $arch ${selection[*]}"
  started=$(date +%s)
  (cd "$buildroot/$arch" && ctest --output-on-failure "${jobs[@]}" "${selection[@]}" "$@") || failed+=("$arch")
  summary+=("    ctest here: $(( $(date +%s) - started )) s")
done

echo
echo "test: architectures run:"
for line in "${summary[@]}"; do echo "  $line"; done
if [ ${#failed[@]} -gt 0 ]; then
  echo "test: FAILED in ${failed[*]}"
  exit 1
fi
echo "test: all passed"
