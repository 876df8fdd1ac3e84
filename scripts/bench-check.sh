#!/usr/bin/env bash
# Check's and Launch's cost over the network's, printed as figures (the median and min-max of
# QX_BENCH_RUNS runs, 5 unless set, each way interleaved with its bare fetch):
#   full-installation  Check with nothing installed (the loader through the progress dialog)
#                      against a bare URLDownloadToFileA of the loader; full-installation-without-
#                      digest: the same with a description that names no SHA-256 for the loader
#   current-route      Check with the loader installed and current against a bare fetch of the
#                      description; installer-window: the hidden installer window alone
#   launch             LaunchWorldFromUrl against a bare fetch of the world file; the shell starts
#                      the installed loader for it, as on a user's machine (the stand-in loader,
#                      which records its start and exits; Launch returns once its process exists)
#                      and against fetch-and-open, the bare fetch followed by the same shell open
#                      (so both start the loader), which leaves Launch's own share
#   first-Check        the page's first Check, each run a fresh process: LoadLibrary of the built
#                      DLL, DllGetClassObject and CreateInstance, and the call through IDispatch,
#                      against a bare fetch of the description from a fresh process
# and the size of each built DLL and of a cabinet of it. The figures and their CSV go to
# build/<arch>/benchstate/check-figures.{txt,csv}.
# Usage: bash scripts/bench-check.sh [loader size in MiB, default 64]
set -euo pipefail
mib=${1:-64}
. "$(dirname "$0")/bench-env.sh"

# The stand-in loader, padded to the size asked for (Windows runs a program with bytes after its
# image), so the type the installation registers starts a real program.
cp "$build/samples/qxLoader.exe" "$state/www/qxLoader.exe"
head -c $((mib * 1024 * 1024 - $(stat -c %s "$state/www/qxLoader.exe"))) /dev/urandom >>"$state/www/qxLoader.exe"
sed -e "s|@SERVER@|$server|" -e "s|@VERSION@|5|" -e "s|@SHA256@|$(sha256sum "$state/www/qxLoader.exe" | cut -d' ' -f1)|" \
  "$root/samples/www/description.ini.in" >"$state/www/qxloader.ini"
grep -v '^"sha256"=' "$state/www/qxloader.ini" >"$state/www/qxloader-nodigest.ini"
cp "$root/samples/www/sample.qxl" "$state/www/world.qxl"
samples=$state/check-samples.txt
scratch=$(winpath "$state/bare.bin")
export QX_LOADER_RECORD
QX_LOADER_RECORD=$(winpath "$state/loader-record.txt")
rm -f "$state/loader-record.txt"

echo "check: full installation ($mib MiB loader) and the current route" >&2
bench_exe qxbench_check route "$runs" "$server/qxloader.ini" "$server/qxLoader.exe" "$scratch" \
  "$server/qxloader-nodigest.ini" >"$samples" || true
echo "check: Launch" >&2
bench_exe qxbench_check launch "$runs" "$server/world.qxl" "$scratch" >>"$samples" || true
sleep 1
echo "# launch: the loader recorded $(grep -c . "$state/loader-record.txt" 2>/dev/null || echo 0) starts" >>"$samples"
# A page's script reaches Check through IDispatch, which reads the registered type library.
wine regsvr32 /s "$(winpath "$build/qxChecker.DLL")" </dev/null >/dev/null 2>&1
for run in $(seq "$runs"); do
  echo "check: first Check, round $run of $runs" >&2
  bench_exe qxbench_first check "$(winpath "$build/qxChecker.DLL")" "$server/qxloader.ini" >>"$samples" || true
  bench_exe qxbench_first bare "$server/qxloader.ini" "$scratch" >>"$samples" || true
done

# What a first visitor downloads and every page's process loads: each built DLL and a cabinet of
# it as the package makes one (DLL and INF, compressed; the package's signatures add a few KB).
for dll in "$(dirname "$build")"/{i686,x86_64}/qxChecker.DLL; do
  [ -f "$dll" ] || continue
  cab=$state/size-check.cab
  rm -rf "$state/cab" "$cab" && mkdir -p "$state/cab" && cp "$dll" "$state/cab/"
  /usr/bin/python3 "$root/scripts/cab-inf.py" "$state/cab/qxChecker.DLL" >"$state/cab/qxChecker.inf"
  (cd "$state/cab" && gcab -c -z -n "$cab" qxChecker.inf qxChecker.DLL)
  echo "# size: $(basename "$(dirname "$dll")") qxChecker.DLL $(stat -c %s "$dll") bytes, its cabinet $(stat -c %s "$cab") bytes unsigned" >>"$samples"
done

bench_figures "$samples" --ratio Check/bare-fetch --ratio Launch/bare-fetch --ratio Launch/fetch-and-open \
  --csv "$state/check-figures.csv" | tee "$state/check-figures.txt"
echo "figures: $state/check-figures.txt, .csv; the whole run took $SECONDS s"
