#!/usr/bin/env bash
# Configures and builds the DLL, the samples, the test programs and the benchmarks of each named
# architecture into build/<arch> (or $QX_BUILD_ROOT/<arch>): i686 is the shipped 32-bit DLL,
# x86_64 its 64-bit twin. With no architecture named, both. QX_ALLOWED_SITES is the site lock built
# in (unset: no site, so no page may use the DLL) and QX_LOADER_SIGNERS the loader's publisher pin
# (SHA-256 thumbprints of the certificates allowed to sign the loader; unset: any signer or none);
# each build states both, so the demo's locked build and the tests' build of the same folder never
# inherit each other's.
#   [QX_ALLOWED_SITES="host;*.domain;http://host"] [QX_LOADER_SIGNERS="<sha256>;<sha256>"] build.sh [i686] [x86_64]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
buildroot=${QX_BUILD_ROOT:-$root/build}
archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(i686 x86_64)
for arch in "${archs[@]}"; do
  case "$arch" in i686|x86_64) ;; *) echo "build: unknown architecture '$arch' (i686 or x86_64)" >&2; exit 2 ;; esac
  # The presets hold the toolchain and the build type; -B lets the build root move.
  (cd "$root" && cmake --preset "$arch" -B "$buildroot/$arch" -DQX_ALLOWED_SITES="${QX_ALLOWED_SITES:-}" \
    -DQX_LOADER_SIGNERS="${QX_LOADER_SIGNERS:-}" >/dev/null)
  cmake --build "$buildroot/$arch" -j"$(nproc)"
done
