#!/usr/bin/env bash
# Download throughput on loopback, printed as figures: the download dialog, a bare urlmon bind
# that only counts bytes (the platform's ceiling under Wine), and curl, on one file served by the
# test server. Usage: bash scripts/bench-download.sh [size in MiB, default 64]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mib=${1:-64}

bash "$root/scripts/install-deps.sh" >/dev/null
# The shipped 32-bit DLL where this machine runs 32-bit code, else the twin; the choice is printed.
arch=$(bash "$root/scripts/pick-arch.sh")
build=${QX_BUILD_ROOT:-$root/build}/$arch
state=$build/benchstate
command -v curl >/dev/null || apt-get install -y -qq curl >/dev/null
QX_BUILD_ROOT=$(dirname "$build") bash "$root/scripts/build.sh" "$arch" >/dev/null
trap 'bash "$root/tests/support/testenv.sh" stop "$state" "$root" >/dev/null 2>&1 || true' EXIT
bash "$root/tests/support/testenv.sh" start "$state" "$root" "$arch" >/dev/null
. "$state/env.sh"
head -c $((mib * 1024 * 1024)) /dev/urandom >"$state/www/bench.bin"
url="http://127.0.0.1:$(cat "$state/server.port")/bench.bin"
mkdir -p "$state/out"
wine cmd /c exit </dev/null >/dev/null 2>&1

out=$(wine "$build/bench/qxbench_download.exe" "$url" "$(printf 'Z:%s' "$state/out/bench.bin" | tr / '\\')" </dev/null 2>/dev/null | tr -d '\r')
cmp -s "$state/www/bench.bin" "$state/out/bench.bin" || echo "warning: the dialog's file differs from the served one"
curl_s=$(curl -s -o "$state/out/curl.bin" -w '%{time_total}' "$url")

echo "$out"
echo "$out" | awk -v mib="$mib" -v cs="$curl_s" '
  $1 == "bare-bind" { bare = $4 } $1 == "dialog" { dlg = $4 }
  END {
    curl = mib * 1048576 / cs / 1e6
    printf "curl %d %.3f %.1f\n", mib * 1048576, cs, curl
    if (bare > 0 && dlg > 0) printf "dialog/bare-bind %.2f  dialog/curl %.2f\n", dlg / bare, dlg / curl
  }'
