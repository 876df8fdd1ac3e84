#!/usr/bin/env bash
# Download throughput on loopback, printed as figures: the progress dialog, a bare asynchronous
# urlmon bind that only counts bytes, the same bind writing the file through the same part file
# (bare-bind-writes: the fair anchor), URLDownloadToFileA writing the same file, and curl (the
# machine's limit), for each file size. Each size gets QX_BENCH_RUNS rounds (5 unless set); each
# round runs every way once, in turn, and every Windows download in a fresh process, so its peak
# working set is that one download's. The figures, their CSV and a plot of throughput against size
# go to build/<arch>/benchstate/download-{figures.txt,figures.csv,throughput.png}.
# Usage: bash scripts/bench-download.sh [size in MiB ...]   (default: 1 16 64 256)
set -euo pipefail
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1 16 64 256)
. "$(dirname "$0")/bench-env.sh"

samples=$state/download-samples.txt
url=$server/bench.bin
mkdir -p "$state/out"
: >"$samples"
for mib in "${sizes[@]}"; do
  head -c $((mib * 1024 * 1024)) /dev/urandom >"$state/www/bench.bin"
  for run in $(seq "$runs"); do
    echo "download: ${mib} MiB, round $run of $runs" >&2
    for way in dialog bare-bind bare-bind-writes URLDownloadToFileA; do
      bench_exe qxbench_download "${mib}MiB" "$way" "$url" "$(winpath "$state/out/$way.bin")" >>"$samples" || true
    done
    rm -f "$state/out/curl.bin"
    seconds=$(curl -s -o "$state/out/curl.bin" -w '%{time_total}' "$url") || seconds=0
    echo "${mib}MiB curl $seconds $(stat -c %s "$state/out/curl.bin" 2>/dev/null || echo 0) -" >>"$samples"
  done
  for way in dialog bare-bind-writes URLDownloadToFileA curl; do
    cmp -s "$state/www/bench.bin" "$state/out/$way.bin" || echo "# ${mib} MiB: the file $way wrote differs from the served one" >>"$samples"
  done
done

echo "# each Windows download ran in a fresh process: its peak working set is that one download's"
bench_figures "$samples" \
  --ratio dialog/bare-bind-writes --ratio dialog/bare-bind --ratio dialog/URLDownloadToFileA --ratio dialog/curl --ratio bare-bind/curl \
  --csv "$state/download-figures.csv" --plot "$state/download-throughput.png" \
  --title "Download on loopback, $arch under Wine: median of $runs runs, bars min-max" | tee "$state/download-figures.txt"
echo "figures: $state/download-figures.txt, .csv; plot: $state/download-throughput.png; the whole run took $SECONDS s"
