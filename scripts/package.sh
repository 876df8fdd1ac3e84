#!/usr/bin/env bash
# The publisher's package, as Internet Explorer downloads ActiveX controls: one signed cabinet per
# architecture, holding exactly the signed qxChecker.DLL, its signed broker qxBroker.exe and the INF
# that code download reads.
#   [QX_ALLOWED_SITES=...] package.sh [i686|x86_64]...      build each named architecture, then package it
#   package.sh i686=path/qxChecker.DLL [x86_64=path/...]    package DLLs already built, as they are
# With no architecture named, both are built and packaged. Building here states the site lock
# (QX_ALLOWED_SITES, as scripts/build.sh takes it), so a package never carries whatever lock the
# last build of the folder happened to have (the tests' build has none).
#
# The site lock each DLL carries is read back from it (scripts/site-lock.py) before anything is
# signed, and the whole package is refused, with no cabinet left for a refused DLL, when a DLL
# lists no site (no page could use it), is a development build (QX_ALLOW_ANY_SITE: every page
# could), has an entry that is not a site or a wildcard over a whole top-level domain, or allows
# plain http: an attacker on the network could inject the description and its digest.
#   QX_PACKAGE_ALLOW_HTTP=1    accepts plain http:// entries; for loopback and demo servers only
# The loader's publisher pin (scripts/loader-pin.py) is read back and printed the same way; a DLL
# that pins no signer gets a WARNING line, and is refused when QX_REQUIRE_LOADER_PIN=1.
#
# Output, under $QX_PACKAGE_ROOT (default: the build root, build/):
#   dist/qxChecker-x86.cab, dist/qxChecker-x64.cab   what a site serves; nothing else goes there
#   package/<x86|x64>/                               what went into each cabinet: the signed DLL and the INF
#
# Signing: both the DLL and the cabinet are signed with osslsigncode. With none of the variables
# below, the build tree's test chain (build/test-signing/, root CA -> code-signing certificate, made
# by scripts/test-chain.sh) signs, and both signatures are verified against its root. A publisher gives its own certificate:
#   QX_SIGN_PKCS12=publisher.p12                     or   QX_SIGN_CERT=chain.pem QX_SIGN_KEY=key.pem
#   QX_SIGN_PASSWORD_FILE=file                       the password of the PKCS#12 file or the key, if any
#   QX_SIGN_TIMESTAMP_URL=http://timestamp.example   RFC 3161 time-stamp server (keeps signatures valid
#                                                    after the certificate expires)
#   QX_SIGN_CAFILE=roots.pem                         trusted roots to verify the signatures against
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
buildroot=${QX_BUILD_ROOT:-$root/build}
out=${QX_PACKAGE_ROOT:-$buildroot}
dist=$out/dist
work=$out/package
python=/usr/bin/python3  # Debian's, which has pefile

die() { echo "package: $*" >&2; exit 1; }

requests=("$@")
[ ${#requests[@]} -gt 0 ] || requests=(i686 x86_64)
archs=() tags=() dlls=() to_build=()
for request in "${requests[@]}"; do
  arch=${request%%=*}
  case "$arch" in i686|x86_64) ;; *) die "unknown architecture '$arch' (i686 or x86_64, optionally =DLL)" ;; esac
  if [ "$request" = "$arch" ]; then
    dlls+=("$buildroot/$arch/qxChecker.DLL")
    to_build+=("$arch")
  else
    dlls+=("${request#*=}")
  fi
  archs+=("$arch")
  case "$arch" in i686) tags+=(x86) ;; x86_64) tags+=(x64) ;; esac
done

if [ ${#to_build[@]} -gt 0 ]; then
  bash "$root/scripts/install-deps.sh"
  QX_BUILD_ROOT=$buildroot bash "$root/scripts/build.sh" "${to_build[@]}" >/dev/null
  echo "package: built ${to_build[*]}, allowed sites: ${QX_ALLOWED_SITES:-none (no page may use it)}"
fi
for tool in gcab osslsigncode openssl; do
  command -v "$tool" >/dev/null || die "$tool is missing (bash scripts/install-deps.sh installs it)"
done
"$python" -c 'import pefile' 2>/dev/null || die "python3-pefile is missing (bash scripts/install-deps.sh installs it)"

# ---- what every DLL carries, read back before anything is signed ----------------------------------
# check_each <what> <script> [args]: runs the read-back script on each DLL; a refused DLL leaves no
# package of its architecture (whatever an earlier run left there is not this DLL's either), and
# any refusal ends the whole package.
check_each() {
  local what=$1 script=$2 refused=0
  shift 2
  for i in "${!archs[@]}"; do
    if ! "$python" "$root/scripts/$script" "${dlls[$i]}" "$@" | sed 's/^/package: /'; then
      rm -rf "$work/${tags[$i]}" "$dist/qxChecker-${tags[$i]}.cab"
      refused=1
    fi
  done
  [ $refused = 0 ] || die "nothing is packaged: a DLL's $what is refused (see above)"
}
for i in "${!archs[@]}"; do
  [ -f "${dlls[$i]}" ] || die "${dlls[$i]} is missing (build it: bash scripts/build.sh ${archs[$i]})"
done
lock_args=()
[ "${QX_PACKAGE_ALLOW_HTTP:-}" != 1 ] || lock_args=(--allow-http)
check_each "site lock" site-lock.py "${lock_args[@]}"
# An unpinned DLL installs whatever loader the server of its description serves: said loudly, and
# refused where the build asks for a pin (QX_REQUIRE_LOADER_PIN=1).
pin_args=()
[ "${QX_REQUIRE_LOADER_PIN:-}" != 1 ] || pin_args=(--require)
check_each "loader pin" loader-pin.py "${pin_args[@]}"

# ---- the signing certificate ----------------------------------------------------------------------
sign_args=() verify_ca=""
if [ -n "${QX_SIGN_PKCS12:-}" ]; then
  sign_args=(-pkcs12 "$QX_SIGN_PKCS12")
  signer="$QX_SIGN_PKCS12"
elif [ -n "${QX_SIGN_CERT:-}" ] || [ -n "${QX_SIGN_KEY:-}" ]; then
  [ -n "${QX_SIGN_CERT:-}" ] && [ -n "${QX_SIGN_KEY:-}" ] || die "QX_SIGN_CERT and QX_SIGN_KEY go together"
  sign_args=(-certs "$QX_SIGN_CERT" -key "$QX_SIGN_KEY")
  signer="$QX_SIGN_CERT"
else
  # The build tree's test chain (scripts/test-chain.sh), the one whose publisher signs the sample loader.
  ca=$buildroot/test-signing
  bash "$root/scripts/test-chain.sh" "$ca" || die "openssl could not make the test certificates in $ca"
  sign_args=(-certs "$ca/signer.pem" -key "$ca/signer.key")
  signer="test certificate $ca/signer.pem (root: $ca/root.pem)"
  verify_ca=$ca/root.pem
fi
[ -z "${QX_SIGN_PASSWORD_FILE:-}" ] || sign_args+=(-readpass "$QX_SIGN_PASSWORD_FILE")
[ -z "${QX_SIGN_TIMESTAMP_URL:-}" ] || sign_args+=(-ts "$QX_SIGN_TIMESTAMP_URL")
[ -z "${QX_SIGN_CAFILE:-}" ] || verify_ca=$QX_SIGN_CAFILE

sign() {  # sign <in> <out>: Authenticode, SHA-256
  rm -f "$2"
  osslsigncode sign "${sign_args[@]}" -h sha256 -n "qxChecker" -in "$1" -out "$2" >"$work/sign.log" 2>&1 \
    || { cat "$work/sign.log" >&2; die "osslsigncode could not sign $1"; }
}
verify() {  # verify <file>: the signature and its chain up to the trusted roots
  [ -n "$verify_ca" ] || { echo "  $(basename "$1"): signed, not verified here (set QX_SIGN_CAFILE)"; return; }
  osslsigncode verify -CAfile "$verify_ca" -in "$1" >"$work/verify.log" 2>&1 \
    || { cat "$work/verify.log" >&2; die "the signature of $1 does not verify against $verify_ca"; }
  echo "  $(basename "$1"): signature verified against $(basename "$verify_ca")"
}

# ---- one cabinet per architecture -----------------------------------------------------------------
mkdir -p "$dist" "$work"
echo "package: signing with $signer"
for i in "${!archs[@]}"; do
  arch=${archs[$i]} tag=${tags[$i]} dll=${dlls[$i]}
  name=$(basename "$dll")
  stage=$work/$tag cab=$dist/qxChecker-$tag.cab
  rm -rf "$stage" "$cab"
  mkdir -p "$stage"
  echo "package: $cab ($arch, from $dll)"
  # The DLL is signed before it goes in: the browser checks the cabinet's signature when it
  # downloads, Windows checks the DLL's wherever the file is later loaded or inspected.
  sign "$dll" "$stage/$name"
  verify "$stage/$name"
  # The broker built beside the DLL goes with it, signed like it: Protected Mode's pages need it.
  broker=$(dirname "$dll")/qxBroker.exe
  [ -f "$broker" ] || die "no broker beside $dll (qxBroker.exe is built with the DLL)"
  sign "$broker" "$stage/qxBroker.exe"
  verify "$stage/qxBroker.exe"
  "$python" "$root/scripts/cab-inf.py" "$stage/$name" "$stage/qxBroker.exe" >"$stage/qxChecker.inf"
  # -n: the files go in by their names alone, which is how the INF names them.
  (cd "$stage" && gcab -c -z -n "$work/unsigned-$tag.cab" qxChecker.inf "$name" qxBroker.exe) \
    || die "gcab could not make the cabinet for $arch"
  sign "$work/unsigned-$tag.cab" "$cab"
  rm -f "$work/unsigned-$tag.cab"
  verify "$cab"
  gcab -l "$cab" | sed 's/^/    /'
done
