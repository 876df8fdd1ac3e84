#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a fresh Debian 12 machine.
# Idempotent; run as root. Skips apt entirely when every package is already present.
set -euo pipefail

packages=(
  cmake make python3 g++
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  wine wine32:i386 wine64 libwine-dev fonts-wine
  python3-pefile
  googletest
  # The publisher's package: cabinets, Authenticode signing, the test certificate chain. Bookworm's
  # own osslsigncode (2.5) does; a newer one from backports serves as well.
  gcab osslsigncode openssl
  # The fuzz targets: clang's libFuzzer and sanitizer runtimes.
  clang-14 libclang-rt-14-dev
  xvfb xauth x11-utils imagemagick
  fonts-nanum locales
  # The benchmarks: curl is the machine's own limit on loopback; matplotlib plots the figures.
  curl python3-matplotlib
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "install-deps: missing packages (${missing[*]}); run this script as root" >&2
    exit 1
  fi
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The fuzz targets need libFuzzer and the sanitizer runtimes, which come with libclang-rt-14-dev
# alone: clang-14 only recommends it, and recommends are not installed.
if [ ! -f "$(clang++-14 -print-runtime-dir)/libclang_rt.fuzzer-x86_64.a" ]; then
  echo "install-deps: clang-14 has no libFuzzer runtime; libclang-rt-14-dev is incomplete" >&2
  exit 1
fi
echo "install-deps: all packages present"
