#!/usr/bin/env bash
# Builds the description parser natively with the sanitizers and feeds it random texts.
# Usage: run.sh <source dir> <work dir> [seed] [count]
set -euo pipefail
src=$1 work=$2
mkdir -p "$work"
g++ -std=c++17 -O1 -g -fsanitize=address,undefined -fno-sanitize-recover=all -I"$src" \
  "$src/tests/fuzz/DescriptionParserFuzz.cpp" "$src/description/DescriptionParser.cpp" -o "$work/description_fuzz"
"$work/description_fuzz" "${3:-1}" "${4:-20000}"
