#!/usr/bin/env bash
# Check's cost over the network's, printed as figures: the current route against a bare fetch of
# the description, and a full installation with a large loader against a bare fetch of it.
# Usage: bash scripts/bench-check.sh [loader size in MiB, default 64]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mib=${1:-64}

bash "$root/scripts/install-deps.sh" >/dev/null
# The shipped 32-bit DLL where this machine runs 32-bit code, else the twin; the choice is printed.
arch=$(bash "$root/scripts/pick-arch.sh")
build=${QX_BUILD_ROOT:-$root/build}/$arch
state=$build/benchstate
QX_BUILD_ROOT=$(dirname "$build") bash "$root/scripts/build.sh" "$arch" >/dev/null
trap 'bash "$root/tests/support/testenv.sh" stop "$state" "$root" >/dev/null 2>&1 || true' EXIT
bash "$root/tests/support/testenv.sh" start "$state" "$root" "$arch" >/dev/null
. "$state/env.sh"
server="http://127.0.0.1:$(cat "$state/server.port")"
head -c $((mib * 1024 * 1024)) /dev/urandom >"$state/www/qxLoader.exe"
sed -e "s|@SERVER@|$server|" -e "s|@VERSION@|5|" -e "s|@SHA256@|$(sha256sum "$state/www/qxLoader.exe" | cut -d' ' -f1)|" \
  "$root/samples/www/description.ini.in" >"$state/www/qxloader.ini"
wine cmd /c exit </dev/null >/dev/null 2>&1
wine "$build/bench/qxbench_check.exe" "$server/qxloader.ini" "$server/qxLoader.exe" \
  "$(printf 'Z:%s' "$state/bare.bin" | tr / '\\')" </dev/null 2>/dev/null | tr -d '\r'
