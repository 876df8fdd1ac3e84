#!/usr/bin/env bash
# The Wine launcher of one architecture. Debian's /usr/bin/wine picks the 32-bit loader whenever
# wine32 is installed, whatever the prefix is, so nothing here leaves the choice to it.
#   wine.sh <i686|x86_64> <program> [arguments]   run a Windows program (WINEPREFIX from the caller)
#   wine.sh <i686|x86_64> --server [arguments]    that architecture's wineserver (-k, -w)
#   wine.sh <i686|x86_64> --probe                 exit 0 when this machine runs that architecture's
#                                                 code; otherwise say why on stdout and exit 1
# QX_WINE_LOADER_<ARCH> and QX_WINESERVER_<ARCH> (e.g. QX_WINE_LOADER_I686) replace the loader or
# the server, which is how the probe is tested against loaders that fail.
set -euo pipefail
arch=${1:?usage: wine.sh <i686|x86_64> <program>|--server|--probe [arguments]}
shift
case "$arch" in
  i686)
    loader=${QX_WINE_LOADER_I686:-/usr/lib/wine/wine}
    # The 64-bit server serves 32-bit clients too; Debian's own wrapper prefers it likewise.
    server=${QX_WINESERVER_I686:-/usr/lib/wine/wineserver64}
    [ -x "$server" ] || server=/usr/lib/wine/wineserver32
    export WINEARCH=win32
    ;;
  x86_64)
    loader=${QX_WINE_LOADER_X86_64:-/usr/lib/wine/wine64}
    server=${QX_WINESERVER_X86_64:-/usr/lib/wine/wineserver64}
    export WINEARCH=win64
    ;;
  *) echo "wine.sh: unknown architecture '$arch' (i686 or x86_64)" >&2; exit 2 ;;
esac
# Processes that Wine starts for us, and the server it starts, come from the same pair.
export WINELOADER=$loader WINESERVER=$server

case "${1:-}" in
  --probe)
    if [ ! -e "$loader" ]; then
      echo "$arch: no Wine loader at $loader (is the package installed?)"
      exit 1
    fi
    rc=0
    # Through bash's exec: execvp (as timeout uses) would hand a binary the kernel refuses to
    # /bin/sh as if it were a script.
    out=$(timeout 60 bash -c 'exec "$0" --version' "$loader" 2>&1 </dev/null) || rc=$?
    if [ "$rc" -ne 0 ]; then
      reason=$(printf '%s' "$out" | head -n 1)
      case "$rc" in
        126) why="the kernel refuses to execute it (exit 126: ${reason##*: })" ;;
        124) why="it did not answer within 60 s" ;;
        *) why="it failed (exit $rc${reason:+: $reason})" ;;
      esac
      echo "$arch: this machine cannot run $arch code: $loader --version: $why"
      exit 1
    fi
    exit 0
    ;;
  --server)
    shift
    exec "$server" "$@"
    ;;
  "") echo "wine.sh: nothing to run" >&2; exit 2 ;;
  *) exec "$loader" "$@" ;;
esac
