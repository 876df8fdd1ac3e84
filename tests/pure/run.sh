#!/usr/bin/env bash
# Builds the pure code's tests natively (incrementally, into <work dir>) and runs them.
# Usage: run.sh <source dir> <work dir> [gtest arguments]
set -euo pipefail
src=$1 work=$2
shift 2
cmake -S "$src/tests/pure" -B "$work" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work" -j"$(nproc)" >/dev/null
exec "$work/qxpure" "$@"
