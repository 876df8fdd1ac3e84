#!/usr/bin/env bash
# The main job: builds qxChecker.DLL, registers it with regsvr32 in a fresh Wine prefix and drives
# the control from a script, as a web page would, against the bundled sample server. It runs the
# shipped 32-bit DLL where this machine can execute 32-bit code, else its 64-bit twin (QX_ARCH=i686
# or x86_64 chooses):
#   1. Check — first run: full installation with the progress dialog;
#   2. Check again — the loader is current: no window at all;
#   3. Check with a higher version served — upgrade;
#   4. Launch a sample world — the shell starts the installed loader through the document type.
# Each step prints its outcome and what it left in the registry and on disk; screenshots of the
# dialogs go to build/<arch>/demostate/screenshots. The publisher's package (scripts/package.sh) of
# the same locked build goes to build/<arch>/demopackage/dist and is served with the site's page,
# samples/www/index.html, which places it. The build pins the loader's publisher (the test chain's
# publisher certificate, which signs the sample loader) and the demo's prefix trusts the test root.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/install-deps.sh"
arch=$(bash "$root/scripts/pick-arch.sh")
build=${QX_BUILD_ROOT:-$root/build}/$arch
state=$build/demostate
package=$build/demopackage
# Built locked to the sample server, as a publisher locks the control to its own site, and packaged
# as a publisher packages it: both architectures, each a signed cabinet (with the test chain, never
# a certificate the caller's shell may name). The sample server is loopback and plain http, which
# the package accepts only when told. The pin is required, as a publisher's release requires it.
mkdir -p "$package"
chain=$(dirname "$build")/test-signing
bash "$root/scripts/test-chain.sh" "$chain"
pin=$(cat "$chain/signer.sha256")
env -u QX_SIGN_PKCS12 -u QX_SIGN_CERT -u QX_SIGN_KEY -u QX_SIGN_PASSWORD_FILE -u QX_SIGN_TIMESTAMP_URL \
  -u QX_SIGN_CAFILE QX_ALLOWED_SITES=http://127.0.0.1 QX_PACKAGE_ALLOW_HTTP=1 \
  QX_LOADER_SIGNERS="$pin" QX_REQUIRE_LOADER_PIN=1 QX_BUILD_ROOT=$(dirname "$build") QX_PACKAGE_ROOT=$package \
  bash "$root/scripts/package.sh" i686 x86_64 >"$package/package.log" 2>&1 \
  || { cat "$package/package.log" >&2; echo "demo: building or packaging failed" >&2; exit 1; }
echo "built: $build/qxChecker.DLL ($arch), allowed sites: http://127.0.0.1, loader publisher pinned: $pin"

trap 'bash "$root/tests/support/testenv.sh" stop "$state" "$root" >/dev/null 2>&1 || true' EXIT
bash "$root/tests/support/testenv.sh" start "$state" "$root" "$arch"
. "$state/env.sh"
server="http://127.0.0.1:$(cat "$state/server.port")"
shots=$state/screenshots
mkdir -p "$shots"

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
run() { "$@" </dev/null 2>/dev/null | iconv -f CP949 -t UTF-8 | tr -d '\r'; }
reg_show() { run wine reg query "$1" /s | sed -n 's/^ \{4\}/    /p; s/^HKEY/  HKEY/p'; }
# The description names the served loader's digest: no other bytes may be installed in its place.
serve_version() {
  local digest
  digest=$(sha256sum "$state/www/qxLoader.exe" | cut -d' ' -f1)
  sed -e "s|@SERVER@|$server|" -e "s|@VERSION@|$1|" -e "s|@SHA256@|$digest|" \
    "$root/samples/www/description.ini.in" >"$state/www/qxloader.ini"
}
# The script host, in the background, with a screenshot of the screen while it runs.
page() {
  local shot=$1; shift
  wine cscript //nologo "$(winpath "$root/samples/demo.js")" "$@" </dev/null >"$state/page.out" 2>/dev/null &
  local pid=$!
  sleep 1.5
  /usr/bin/import -window root "$shots/$shot.png" 2>/dev/null || true
  wait $pid || true
  iconv -f CP949 -t UTF-8 "$state/page.out" | tr -d '\r'
}

# The site's page and the package it places, served as a site serves them.
cp "$root/samples/www/index.html" "$package"/dist/*.cab "$state/www/"
echo
echo "== package: $package/dist (signed with the test chain, root $chain/root.pem)"
for cab in "$package"/dist/qxChecker-x86.cab "$package"/dist/qxChecker-x64.cab; do
  echo "$(basename "$cab"): $(sed -n "s/^  $(basename "$cab"): //p" "$package/package.log")"
  gcab -l "$cab" | sed 's/^/  /'
done
echo "served with the page that places it: $server/index.html"

# The loader as the publisher ships it, signed with the pinned certificate; the prefix trusts the
# test root as a machine trusts a real publisher's.
cp "$build/samples/signed/qxLoader.exe" "$state/www/qxLoader.exe"
wine "$(winpath "$build/samples/trust_root.exe")" "$(winpath "$chain/root.cer")" </dev/null \
  || { echo "demo: the prefix could not be made to trust the test root" >&2; exit 1; }
# Served slowly, so the progress dialog stays up long enough to be seen.
echo 'trickle=65536&delay=300' >"$state/www/qxLoader.exe.faults"
cp "$root/samples/www/sample.qxl" "$state/www/sample.qxl"
record=$(winpath "$state/loader-record.txt")
export QX_LOADER_RECORD=$record
rm -f "$state/loader-record.txt"
installed="$WINEPREFIX/drive_c/Program Files/Activeworlds"

echo
echo "== regsvr32 qxChecker.DLL"
wine regsvr32 /s "$(winpath "$build/qxChecker.DLL")" </dev/null >/dev/null 2>&1 && echo "registered" \
  || { echo "regsvr32 failed"; exit 1; }
run wine reg query 'HKCR\CLSID\{74A19CB3-36EB-4CC8-AAD0-240CC13686AC}\InprocServer32' | grep REG_SZ

echo
echo "== 1. Check $server/qxloader.ini (nothing installed yet; version 5 offered)"
serve_version 5
page check-1-full-installation check "$server/qxloader.ini"
echo "registry:"; reg_show 'HKCU\SOFTWARE\Tessaron\qxLoader'; reg_show 'HKCR\qxl_auto_file'; reg_show 'HKCR\.qxl'
echo "files:"; LC_ALL=C ls -l "$installed" | sed -n 's/^/  /p'

echo
echo "== 2. Check again (the loader is current)"
page check-2-current check "$server/qxloader.ini"

echo
echo "== 3. Check with version 6 offered (upgrade)"
serve_version 6
page check-3-upgrade check "$server/qxloader.ini"
echo "registry:"; reg_show 'HKCU\SOFTWARE\Tessaron\qxLoader'

echo
echo "== 4. Launch $server/sample.qxl"
aw="$installed/ActiveWorld"
mkdir -p "$aw"
printf '[start]\r\nworld=AW\r\n[video]\r\nmode=window\r\n' >"$aw/Aworld.ini"
page launch launch "$server/sample.qxl"
echo "world file: C:\\Program Files\\Activeworlds\\temp.qxl"
tr -d '\r' <"$installed/temp.qxl" | sed 's/^/  /'
for _ in $(seq 100); do [ -s "$state/loader-record.txt" ] && break; sleep 0.1; done
echo "program the shell started: $(iconv -f CP949 -t UTF-8 "$state/loader-record.txt" 2>/dev/null | tr -d '\r' || echo '(none)')"
echo "settings file now:"
tr -d '\r' <"$aw/Aworld.ini" | sed 's/^/  /'
echo
echo "screenshots: $shots"
