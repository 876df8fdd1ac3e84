#!/usr/bin/env bash
# Configures and builds the DLL, the samples and the test programs into build/ (or $QX_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QX_BUILD_DIR:-$root/build}
# The toolchain is fixed when the build folder is first configured; CMake ignores it later.
toolchain=()
[ -f "$build/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake")
cmake -S "$root" -B "$build" "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)"
