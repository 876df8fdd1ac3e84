#!/usr/bin/env bash
# Prints the architecture that the demo and the benchmarks run: $QX_ARCH when set (i686 or x86_64),
# else the shipped 32-bit DLL (i686) where this machine can execute 32-bit code, else its 64-bit
# twin (x86_64). Says on stderr which one and why.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
case "${QX_ARCH:-}" in
  i686|x86_64)
    echo "running the ${QX_ARCH} DLL (chosen by QX_ARCH)" >&2
    echo "$QX_ARCH" ;;
  "")
    if why=$(bash "$root/scripts/wine.sh" i686 --probe); then
      echo "running the shipped 32-bit DLL (i686)" >&2
      echo i686
    else
      echo "running the 64-bit twin (x86_64): $why" >&2
      echo x86_64
    fi ;;
  *) echo "QX_ARCH must be i686 or x86_64, not '$QX_ARCH'" >&2; exit 2 ;;
esac
