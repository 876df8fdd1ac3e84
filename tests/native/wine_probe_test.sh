#!/usr/bin/env bash
# The architecture probe of scripts/wine.sh against loaders that fail the ways a machine's can:
# a binary the kernel will not execute, a loader that errs, one that is missing.
# Usage: wine_probe_test.sh <source dir>
set -uo pipefail
launcher=$1/scripts/wine.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# expect <name> <exit code> <text the output must hold> <loader>
expect() {
  local name=$1 want_rc=$2 want_text=$3 loader=$4 out rc=0
  out=$(QX_WINE_LOADER_I686=$loader bash "$launcher" i686 --probe 2>&1) || rc=$?
  if [ "$rc" -ne "$want_rc" ] || [[ "$out" != *"$want_text"* ]]; then
    echo "FAIL $name: exit $rc, output '$out' (wanted exit $want_rc and '$want_text')"
    failures=$((failures + 1))
  else
    echo "ok   $name: $out"
  fi
}

# A file the kernel refuses as a program, as an i386 ELF is refused where IA-32 emulation is off.
printf 'MZ\220\0\3\0\0\0\4\0\0\0\377\377\0\0\270\0\0\0\0\0\0\0\100\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0' >"$work/foreign"
chmod +x "$work/foreign"
printf '#!/bin/sh\necho "wine-8.0 (test)"\n' >"$work/good"
printf '#!/bin/sh\necho "wine: could not load ntdll.so" >&2\nexit 1\n' >"$work/broken"
chmod +x "$work/good" "$work/broken"

expect runs              0 ""                                  "$work/good"
expect foreign-binary    1 "cannot run i686 code"              "$work/foreign"
expect foreign-exit-code 1 "exit 126"                          "$work/foreign"
expect loader-errs       1 "exit 1: wine: could not load ntdll.so" "$work/broken"
expect missing-loader    1 "no Wine loader at $work/missing"   "$work/missing"
# The launcher itself refuses an architecture it does not know.
rc=0; bash "$launcher" arm64 --probe >/dev/null 2>&1 || rc=$?
if [ "$rc" -ne 2 ]; then echo "FAIL unknown-architecture: exit $rc"; failures=$((failures + 1)); fi

[ "$failures" -eq 0 ] && echo "wine_probe: all cases passed"
exit "$failures"
