#!/usr/bin/env bash
# Builds the libFuzzer targets of the pure functions natively (clang++-14 with the address and
# undefined behaviour sanitizers) and runs them one after another, each on a fresh copy of its
# committed seed corpus in the work dir, so that no run ever changes the committed files.
#
#   run.sh <source dir> <work dir> [target...]                short run, for the test suite
#   run.sh <source dir> <work dir> --long [runs] [target...]  long run, runs executions per target
#
# The short run gives each target QX_FUZZ_SECONDS (15) seconds; the long run gives each one runs
# executions (QX_FUZZ_RUNS, 10000000) and prints its executions, exec/s and wall time. Targets:
# description_parser http_headers decimal_number folder_path_form program_image (all when none is
# named). Any
# crash, sanitizer report or broken rule fails the run; its input is left in <work dir>/artifacts.
set -euo pipefail
src=$(cd "$1" && pwd)
work=$2
shift 2

mode=short
runs=${QX_FUZZ_RUNS:-10000000}
if [ "${1:-}" = --long ]; then
  mode=long
  shift
  if [[ "${1:-}" =~ ^[0-9]+$ ]]; then runs=$1; shift; fi
fi
seconds=${QX_FUZZ_SECONDS:-15}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(description_parser http_headers decimal_number folder_path_form program_image)

cxx=${QX_FUZZ_CXX:-clang++-14}
if ! command -v "$cxx" >/dev/null; then
  echo "fuzz: $cxx not found; scripts/install-deps.sh installs clang-14 and libclang-rt-14-dev" >&2
  exit 1
fi

# The fuzz source, the product source it tests, and the longest input worth trying: a description
# is read up to 4096 bytes, so a little beyond; a path is cut at 259; a number needs few bytes; a
# program's headers lie in its first few hundred bytes.
target_files() {
  case $1 in
    description_parser) echo "DescriptionParserFuzz.cpp description/DescriptionParser.cpp 4200" ;;
    http_headers) echo "HttpHeadersFuzz.cpp download/HttpHeaders.cpp 4096" ;;
    decimal_number) echo "DecimalNumberFuzz.cpp install/DecimalNumber.cpp 128" ;;
    folder_path_form) echo "FolderPathFormFuzz.cpp folder/FolderPathForm.cpp 600" ;;
    program_image) echo "ProgramImageFuzz.cpp download/ProgramImage.cpp 2048" ;;
    *) echo "fuzz: unknown target '$1'" >&2; return 1 ;;
  esac
}

mkdir -p "$work/bin"
for t in "${targets[@]}"; do
  read -r fuzz_source product_source _ < <(target_files "$t")
  "$cxx" -std=c++17 -g -O1 -Wall -Wextra -Werror -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$src" "$src/tests/fuzz/$fuzz_source" "$src/$product_source" -o "$work/bin/$t"
done

echo "fuzz: $mode run of ${targets[*]}"
failed=0
for t in "${targets[@]}"; do
  read -r _ _ max_len < <(target_files "$t")
  corpus=$work/corpus/$t artifacts=$work/artifacts/$t/ log=$work/$t.log
  rm -rf "$corpus" "$artifacts"
  mkdir -p "$corpus" "$artifacts"
  cp -R "$src/tests/fuzz/corpus/$t/." "$corpus/"
  options=(-max_len="$max_len" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts")
  [ -f "$src/tests/fuzz/$t.dict" ] && options+=(-dict="$src/tests/fuzz/$t.dict")
  if [ "$mode" = long ]; then options+=(-runs="$runs"); else options+=(-max_total_time="$seconds"); fi

  start=$(date +%s%N)
  status=0
  "$work/bin/$t" "${options[@]}" "$corpus" >"$log" 2>&1 || status=$?
  wall_ms=$((($(date +%s%N) - start) / 1000000))
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  line=$(printf '%-18s %12s executions %8s exec/s %6d.%d s wall' "$t" "${executions:-?}" "${speed:-?}" \
    $((wall_ms / 1000)) $((wall_ms % 1000 / 100)))
  if [ $status -ne 0 ]; then
    failed=1
    line+="  FAILED (exit $status)"
    echo "== $t failed; the end of $log:" >&2
    tail -n 40 "$log" >&2
    ls "$artifacts" >&2
  fi
  echo "$line"
done
exit $failed
