#!/usr/bin/env bash
# A long day in one page's process (a benchmark, not a test): the control loaded once, one Check
# that installs the loader, then QX_LONGDAY_CHECKS (10000) Checks on the current route and
# QX_LONGDAY_LAUNCHES (1000) Launches of a world, the shell starting the stand-in loader for each.
# At the start, every 1,000 calls and at the end it prints the process's committed memory, its
# handle and GDI/USER counts (0 under Wine) and the slots a fresh handle, brush and menu take, the
# time per call and the part files left behind (bench/LongDayBench.cpp). The lines, and the files
# the install folder holds afterwards, go to build/<arch>/benchstate/longday.txt.
# Usage: bash scripts/bench-longday.sh
set -euo pipefail
. "$(dirname "$0")/bench-env.sh"
checks=${QX_LONGDAY_CHECKS:-10000}
launches=${QX_LONGDAY_LAUNCHES:-1000}

cp "$build/samples/qxLoader.exe" "$state/www/qxLoader.exe"
sed -e "s|@SERVER@|$server|" -e "s|@VERSION@|5|" -e "s|@SHA256@|$(sha256sum "$state/www/qxLoader.exe" | cut -d' ' -f1)|" \
  "$root/samples/www/description.ini.in" >"$state/www/qxloader.ini"
cp "$root/samples/www/sample.qxl" "$state/www/world.qxl"
installed="$WINEPREFIX/drive_c/Program Files/Activeworlds"
mkdir -p "$installed/ActiveWorld"
printf '[start]\r\nworld=AW\r\n' >"$installed/ActiveWorld/Aworld.ini"
export QX_LOADER_RECORD
QX_LOADER_RECORD=$(winpath "$state/loader-record.txt")
rm -f "$state/loader-record.txt"
# A page's script reaches the control through IDispatch, which reads the registered type library.
wine regsvr32 /s "$(winpath "$build/qxChecker.DLL")" </dev/null >/dev/null 2>&1

echo "longday: $checks Checks and $launches Launches in one process ($arch)" >&2
{
  bench_exe qxbench_longday "$(winpath "$build/qxChecker.DLL")" 'C:\Program Files\Activeworlds' \
    "$server/qxloader.ini" "$server/world.qxl" "$checks" "$launches" || echo "# the run failed"
  # Launch returns once the loader's process exists; its record may come a moment later.
  for _ in $(seq 50); do
    [ "$(grep -c . "$state/loader-record.txt" 2>/dev/null || echo 0)" -ge "$launches" ] && break
    sleep 0.1
  done
  echo "# the loader recorded $(grep -c . "$state/loader-record.txt" 2>/dev/null || echo 0) starts"
  echo "# the install folder holds: $(cd "$installed" && LC_ALL=C ls -A | tr '\n' ' ')"
  echo "# the whole run took $SECONDS s"
} | tee "$state/longday.txt"
