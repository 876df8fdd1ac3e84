#!/usr/bin/env bash
# Runs every test from a fresh machine: installs the packages, builds both architectures, and runs
# ctest in each build folder, whose fixtures start the virtual display, a fresh Wine prefix and the
# loopback server and stop them afterwards:
#   - the 64-bit twin (build/x86_64): the whole suite, on every machine;
#   - the shipped 32-bit DLL (build/i686): the whole suite where this machine can execute 32-bit
#     code (found by trying its loader), else its native tests, among them the static check of
#     the shipped DLL against the twin.
# Extra arguments go to ctest (e.g. -R WorldLaunch). QX_ARCHS="x86_64" or "i686" runs one
# architecture's suite only (both are still built: the static check compares them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
buildroot=${QX_BUILD_ROOT:-$root/build}
archs=${QX_ARCHS:-x86_64 i686}

bash "$root/scripts/install-deps.sh"
QX_BUILD_ROOT=$buildroot bash "$root/scripts/build.sh" i686 x86_64

# Whatever happens to ctest, nothing of either environment is left running.
cleanup() {
  for arch in i686 x86_64; do
    bash "$root/tests/support/testenv.sh" stop "$buildroot/$arch/teststate" "$root" >/dev/null 2>&1 || true
  done
}
trap cleanup EXIT

i686_why=""
i686_why=$(bash "$root/scripts/wine.sh" i686 --probe) || true

failed=() summary=()
for arch in $archs; do
  case "$arch" in
    x86_64) what="64-bit twin" ;;
    i686) what="32-bit product" ;;
    *) echo "test: unknown architecture '$arch' in QX_ARCHS (i686, x86_64)" >&2; exit 2 ;;
  esac
  selection=()
  if [ "$arch" = i686 ] && [ -n "$i686_why" ]; then
    selection=(-L native)
    summary+=("$arch ($what): native tests only (the static check of the shipped DLL among them);"
              "    its Wine suite was left out: $i686_why")
  else
    summary+=("$arch ($what): whole suite under Wine")
  fi
  echo "== ctest: $arch ${selection[*]}"
  (cd "$buildroot/$arch" && ctest --output-on-failure "${selection[@]}" "$@") || failed+=("$arch")
done

echo
echo "test: architectures run:"
for line in "${summary[@]}"; do echo "  $line"; done
if [ ${#failed[@]} -gt 0 ]; then
  echo "test: FAILED in ${failed[*]}"
  exit 1
fi
echo "test: all passed"
