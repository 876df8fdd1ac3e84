#!/usr/bin/env bash
# The main job: builds qxChecker.DLL, registers it with regsvr32 in a fresh Wine prefix and drives
# the control from a script, as a web page would, against the bundled sample server, printing
# what happened. For now that is the world launch: the sample world file is fetched, its world
# becomes the 3D browser's start world, and the shell opens it with the sample loader registered
# for the document type.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QX_BUILD_DIR:-$root/build}
state=$build/demostate

bash "$root/scripts/install-deps.sh"
QX_BUILD_DIR=$build bash "$root/scripts/build.sh" >/dev/null
echo "built: $build/qxChecker.DLL"

trap 'bash "$root/tests/support/testenv.sh" stop "$state" "$root" >/dev/null 2>&1 || true' EXIT
bash "$root/tests/support/testenv.sh" start "$state" "$root"
. "$state/env.sh"
cp -r "$root/samples/www/." "$state/www/"
port=$(cat "$state/server.port")

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
run() { "$@" </dev/null 2>/dev/null | iconv -f CP949 -t UTF-8 | tr -d '\r'; }

echo
echo "== regsvr32 qxChecker.DLL"
wine regsvr32 /s "$(winpath "$build/qxChecker.DLL")" </dev/null >/dev/null 2>&1 && echo "registered" \
  || { echo "regsvr32 failed"; exit 1; }
echo "InprocServer32 of {74A19CB3-36EB-4CC8-AAD0-240CC13686AC}:"
run wine reg query 'HKCR\CLSID\{74A19CB3-36EB-4CC8-AAD0-240CC13686AC}\InprocServer32' | grep REG_SZ
loader=$(winpath "$build/samples/qxLoader.exe")
record=$(winpath "$state/loader-record.txt")
rm -f "$state/loader-record.txt"

# What a full installation registers for the document type, and the 3D browser's settings.
wine reg add 'HKCR\.qxl' /ve /d qxl_auto_file /f </dev/null >/dev/null 2>&1
wine reg add 'HKCR\qxl_auto_file\shell\open\command' /ve /d "\"$loader\" \"%1\"" /f </dev/null >/dev/null 2>&1
aw="$WINEPREFIX/drive_c/Program Files/Activeworlds/ActiveWorld"
mkdir -p "$aw"
printf '[start]\r\nworld=AW\r\n[video]\r\nmode=window\r\n' >"$aw/Aworld.ini"

echo
echo "== Launch http://127.0.0.1:$port/sample.qxl"
QX_LOADER_RECORD=$record run wine cscript //nologo "$(winpath "$root/samples/demo.js")" launch \
  "http://127.0.0.1:$port/sample.qxl"
echo "world file: C:\Program Files\Activeworlds\temp.qxl"
tr -d '\r' <"$WINEPREFIX/drive_c/Program Files/Activeworlds/temp.qxl" | sed 's/^/  /'

for _ in $(seq 100); do [ -s "$state/loader-record.txt" ] && break; sleep 0.1; done
echo "program the shell started: $(iconv -f CP949 -t UTF-8 "$state/loader-record.txt" 2>/dev/null | tr -d '\r' || echo '(none)')"
echo "settings file now:"
tr -d '\r' <"$aw/Aworld.ini" | sed 's/^/  /'
