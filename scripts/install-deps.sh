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
  # A mirror caught mid-sync fails an index or two (seen: bookworm-security's i386 one); what did
  # arrive still serves, and the install below says whether it was enough.
  apt-get update -qq || echo "install-deps: apt-get update fetched not every index; installing from those it did" >&2
  if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    # Without its i386 index, apt cannot match the 32-bit libraries to the 64-bit ones the security
    # updates brought. The 32-bit Wine is the one package a machine can do without: it then runs
    # only the twin's suite, and scripts/wine.sh's probe says why. Anything else missing is fatal.
    rest=()
    for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
    [ ${#rest[@]} -lt ${#missing[@]} ] || { echo "install-deps: apt-get install failed" >&2; exit 1; }
    [ ${#rest[@]} -eq 0 ] || apt-get install -y -qq --no-install-recommends "${rest[@]}" >/dev/null \
      || { echo "install-deps: apt-get install failed" >&2; exit 1; }
    echo "install-deps: WARNING: wine32:i386 could not be installed (see apt's messages above); the shipped" \
      "32-bit DLL's Wine suite cannot run on this machine" >&2
  fi
fi

# The 32-bit build still needs Wine's 32-bit system files as data: stdole2.tlb, which its type
# library imports, and the DLLs whose exports the static check holds the shipped DLL's imports to.
# Without wine32 they come from the libwine:i386 package itself, unpacked, none of its dependencies.
pe32=/usr/lib/i386-linux-gnu/wine/i386-windows spare=/usr/local/lib/i386-linux-gnu/wine/i386-windows
if [ ! -f "$pe32/stdole2.tlb" ] && [ ! -f "$spare/stdole2.tlb" ]; then
  unpack=$(mktemp -d)
  chmod 755 "$unpack"  # apt fetches as its own user
  trap 'rm -rf "$unpack"' EXIT
  (cd "$unpack" && apt-get download -qq libwine:i386 >/dev/null && dpkg-deb -x libwine_*_i386.deb root) \
    || { echo "install-deps: libwine:i386 could not be fetched for Wine's 32-bit system files" >&2; exit 1; }
  mkdir -p "$(dirname "$spare")"
  rm -rf "$spare"
  mv "$unpack/root$pe32" "$spare"
  echo "install-deps: Wine's 32-bit system files unpacked to $spare (data for the 32-bit build)"
fi
# The fuzz targets need libFuzzer and the sanitizer runtimes, which come with libclang-rt-14-dev
# alone: clang-14 only recommends it, and recommends are not installed.
if [ ! -f "$(clang++-14 -print-runtime-dir)/libclang_rt.fuzzer-x86_64.a" ]; then
  echo "install-deps: clang-14 has no libFuzzer runtime; libclang-rt-14-dev is incomplete" >&2
  exit 1
fi
echo "install-deps: ready"
