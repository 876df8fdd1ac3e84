#!/usr/bin/env bash
# The test environment of one run: a virtual display, a Korean locale, a fresh Wine prefix of one
# architecture with a small D: drive and a read-only E: drive of its own, and the loopback HTTP
# test server. `start` sets it all up in <state-dir> and writes env.sh for the programs run in it;
# `start-all` sets up <count> such environments side by side, in <state-dir>/1 ... /<count> (each
# with its own display, prefix, Wine server, drives and server, so that test programs run at the
# same time never meet), for the test programs' wrapper to take one each; `stop` ends every process
# either started.
#   testenv.sh start <state-dir> <source-dir> <i686|x86_64>
#   testenv.sh start-all <state-dir> <source-dir> <i686|x86_64> [count]
# start-all's count is QX_TEST_ENVIRONMENTS when set, else one more than the machine has processors
# (as many as ctest runs jobs: a Wine test spends much of its time waiting on windows and
# processes), at most four.
#   testenv.sh stop <state-dir> <source-dir>
# env.sh puts `wine` and `wineserver` of that architecture first on PATH: they go through
# scripts/wine.sh, never through /usr/bin/wine.
# start-all also sets up <state-dir>/user, the standard user's environment: the same fresh prefix,
# run by a Unix user that is not root (root ignores file permissions), QX_TEST_USER (qxtest),
# made when missing; its Program Files belongs to root and is read-only, with the 3D browser's
# settings an administrator left there, and it has no D: or E:. Only the StandardUser suite runs
# there (wine-run.sh); its tests deny the machine's keys themselves, since wineserver keeps key
# descriptors in memory only.
set -euo pipefail
usage="usage: testenv.sh start|start-all|stop <state-dir> <source-dir> [i686|x86_64] [count]"
cmd=${1:?$usage} top=${2:?$usage} src=${3:?$usage} arch=${4:-} count=${5:-}
state=$top

stop_all() {
  if [ -f "$state/env.sh" ]; then
    ( . "$state/env.sh"; wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true )
  fi
  rm -f "$state/services-running"
  for drive in drive_d drive_e; do
    if mountpoint -q "$state/$drive" 2>/dev/null; then umount "$state/$drive" >/dev/null 2>&1 || umount -l "$state/$drive" || true; fi
  done
  for p in server xvfb; do
    if [ -f "$state/$p.pid" ]; then
      kill "$(cat "$state/$p.pid")" >/dev/null 2>&1 || true
      rm -f "$state/$p.pid"
    fi
  done
}

start_xvfb() {
  rm -f "$state/display"
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -ac \
    3>"$state/display" </dev/null >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 100); do [ -s "$state/display" ] && break; sleep 0.1; done
  [ -s "$state/display" ] || { echo "testenv: Xvfb did not start" >&2; cat "$state/xvfb.log" >&2; exit 1; }
  echo ":$(tr -d '\n' <"$state/display")"
}

make_locales() {
  mkdir -p "$state/locale"
  for l in ko_KR ja_JP; do
    [ -d "$state/locale/$l.UTF-8" ] || localedef -i "$l" -f UTF-8 "$state/locale/$l.UTF-8" >/dev/null 2>&1 || true
  done
}

start_server() {
  # A run sees only its own files and requests.
  rm -rf "$state/www" "$state/server.log" "$state/screenshots"
  mkdir -p "$state/www"
  rm -f "$state/server.port" "$state/refused.port"
  setsid python3 "$src/tests/support/http_server.py" --root "$state/www" --state "$state" \
    </dev/null >"$state/server.out" 2>&1 &
  echo $! >"$state/server.pid"
  for _ in $(seq 100); do [ -s "$state/server.port" ] && break; sleep 0.1; done
  [ -s "$state/server.port" ] || { echo "testenv: test server did not start" >&2; cat "$state/server.out" >&2; exit 1; }
}

make_launchers() {
  mkdir -p "$state/bin"
  printf '#!/bin/sh\nexec %s "%s/scripts/wine.sh" %s "$@"\n' "${run_as:-}" "$src" "$arch" >"$state/bin/wine"
  printf '#!/bin/sh\nexec %s "%s/scripts/wine.sh" %s --server "$@"\n' "${run_as:-}" "$src" "$arch" >"$state/bin/wineserver"
  chmod +x "$state/bin/wine" "$state/bin/wineserver"
}

# A fresh prefix, made by wineboot. Of the environments start-all makes, only the first runs
# wineboot: the others get a copy of its prefix as wineboot left it (the same fresh prefix, in a
# second instead of most of a minute), made before its Wine server starts for the run.
make_prefix() {
  local prefix=$state/wineprefix
  rm -rf "$state/drive_d" "$state/drive_e"
  if [ "${copied:-0}" = 1 ]; then
    local polls=0 bound=$((3000 * ${QX_TIME_SCALE:-1}))  # 10 minutes, in steps of 0.2 s
    until [ -f "$state/wineprefix.ready" ]; do
      [ ! -f "$top/start.failed" ] && [ "$polls" -lt "$bound" ] \
        || { echo "testenv: the first environment's prefix never came" >&2; exit 1; }
      sleep 0.2
      polls=$((polls + 1))
    done
  else
    rm -rf "$prefix"
    make_own_prefix
    local n
    for n in ${copies:-}; do
      { rm -rf "$top/$n/wineprefix" && cp -a "$prefix" "$top/$n/wineprefix" && touch "$top/$n/wineprefix.ready" \
        || touch "$top/start.failed"; } &
    done
    wait
  fi
  [ "${user_env:-0}" = 1 ] && return
  make_drives
  ln -sfn "$state/drive_d" "$prefix/dosdevices/d:"
  ln -sfn "$state/drive_e" "$prefix/dosdevices/e:"
}

make_own_prefix() {
  local prefix=$state/wineprefix
  # Once, on a loaded machine, a fresh prefix's wineboot failed ("could not load kernel32.dll");
  # a second fresh prefix is made before the run gives up.
  if ! wine wineboot -u </dev/null >"$state/wineboot.log" 2>&1; then
    echo "testenv: wineboot failed ($(tail -n 1 "$state/wineboot.log")); making the prefix again" >&2
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    rm -rf "$prefix"
    wine wineboot -u </dev/null >"$state/wineboot.log" 2>&1
  fi
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11,null /f </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  # A crashing test program must fail its test, not wait behind the crash dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
  wineserver -w
  cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
}

# D: is a drive of a few MiB, so that a download can fill it; E: is read-only, with a loader that
# nothing can replace. Both are small file systems of their own (tmpfs, mounted as root); where
# mounting is not allowed they are plain folders, and the tests that need them say so.
make_drives() {
  rm -rf "$state/drive_e"
  mkdir -p "$state/drive_d" "$state/drive_e"
  if ! mount -t tmpfs -o size=4m qxtest-d "$state/drive_d" 2>/dev/null; then
    echo "testenv: no small D: drive (mounting a file system needs root); the disk-full tests will fail" >&2
  fi
  local mounted=0
  mount -t tmpfs -o size=1m qxtest-e "$state/drive_e" 2>/dev/null && mounted=1
  mkdir -p "$state/drive_e/Activeworlds"
  printf 'MZ the loader on a read-only drive' >"$state/drive_e/Activeworlds/qxLoader.exe"
  if [ "$mounted" = 1 ]; then
    mount -o remount,ro "$state/drive_e"
  else
    echo "testenv: no read-only E: drive (mounting a file system needs root); its tests will fail" >&2
  fi
}

qx_user=${QX_TEST_USER:-qxtest}

# Every folder above `dir` lets the standard user pass (not list): the build folder may lie in
# root's home. An access list where the file system has them, else the others' search bit.
let_user_reach() {
  local dir=$1
  while [ "$dir" != / ]; do
    if ! setpriv --reuid="$qx_user" --regid="$qx_user" --clear-groups test -x "$dir" 2>/dev/null; then
      setfacl -m "u:$qx_user:x" "$dir" 2>/dev/null || chmod o+x "$dir"
      echo "testenv: $qx_user may now pass through $dir"
    fi
    dir=$(dirname "$dir")
  done
}

make_user_env() {
  id "$qx_user" >/dev/null 2>&1 \
    || useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$qx_user"
  local prefix=$state/wineprefix
  local pf="$prefix/drive_c/Program Files"
  # The copy's record of its first server's folder is root's, and no drive but C: is theirs.
  rm -f "$prefix/wineserver" "$prefix/dosdevices/d:" "$prefix/dosdevices/e:"
  mkdir -p "$state/home" "$pf/Activeworlds/ActiveWorld"
  printf '[start]\r\nworld=AWGate\r\n' >"$pf/Activeworlds/ActiveWorld/Aworld.ini"
  chown -R "$qx_user:" "$state"
  chown -R root:root "$pf"
  chmod -R go-w "$pf"
  let_user_reach "$state"
  let_user_reach "$src"
}

start_one() {
  stop_all
  mkdir -p "$state"
  rm -f "$state/env.sh"
  run_as=""
  [ "${user_env:-0}" = 1 ] && run_as="setpriv --reuid=$qx_user --regid=$qx_user --clear-groups"
  display=$(start_xvfb)
  make_locales
  make_launchers
  # Wine says nothing but the programs' own trace lines (OutputDebugString): a failing test's
  # output then holds why the control did what it did.
  cat >"$state/env.sh" <<ENV
export QX_ARCH=$arch
export PATH='$state/bin':"\$PATH"
export WINEPREFIX='$state/wineprefix'
export WINEDEBUG=-all,warn+debugstr
export WINEDLLOVERRIDES='mscoree,mshtml='
export DISPLAY='$display'
export LOCPATH='$state/locale'
export LANG=ko_KR.UTF-8
unset LC_ALL
export QX_TEST_STATE='Z:$(printf '%s' "$state" | tr / '\\\\')'
export QX_WINE_AS='$run_as'
ENV
  [ -z "$run_as" ] || echo "export HOME='$state/home'" >>"$state/env.sh"
  . "$state/env.sh"
  make_prefix
  [ -z "$run_as" ] || make_user_env
  # One Wine server and its services for the whole run, started here with no pipes attached:
  # otherwise each test program, starting after the last has ended, starts them afresh (about
  # 10 s a test in the emulated machine) and they hold ctest's pipes. `stop` ends them; a run
  # that never stops leaves them for a minute at most (a server outliving its prefix would
  # serve a new prefix that gets the old one's inode).
  wineserver -p60 </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
  touch "$state/services-running"
  start_server
  [ -z "$run_as" ] || chown -R "$qx_user:" "$state/www"
  echo "testenv: $arch, display $display, prefix $WINEPREFIX, server port $(cat "$state/server.port")"
}

# The environments start-all made, by number.
environments() {
  local n
  n=$(cat "$top/count" 2>/dev/null) || return 0
  [[ "$n" =~ ^[1-9][0-9]?$ ]] && seq "$n"
  [ ! -d "$top/user" ] || echo user
}

need_arch() {
  case "$arch" in i686|x86_64) ;; *) echo "testenv: $cmd needs the architecture; $usage" >&2; exit 2 ;; esac
}

case "$cmd" in
  start)
    need_arch
    start_one
    ;;
  start-all)
    need_arch
    cpus=$(($(nproc) + 1))
    [ -n "$count" ] || count=${QX_TEST_ENVIRONMENTS:-$((cpus < 4 ? cpus : 4))}
    [[ "$count" =~ ^[1-9][0-9]?$ ]] || { echo "testenv: start-all needs a count of 1 to 99; $usage" >&2; exit 2; }
    for n in $(environments); do (state=$top/$n; stop_all); done
    mkdir -p "$top"
    echo "$count" >"$top/count"
    # Side by side; the first makes the prefix the others copy.
    rm -f "$top/start.failed"
    names=($(seq "$count") user)
    for n in "${names[@]:1}"; do mkdir -p "$top/$n"; rm -f "$top/$n/wineprefix.ready"; done
    pids=()
    for n in "${names[@]}"; do
      if [ "$n" = 1 ]; then
        ( (state=$top/1 copies=${names[*]:1}; start_one) || { touch "$top/start.failed"; exit 1; } ) >"$top/start-1.log" 2>&1 &
      elif [ "$n" = user ]; then
        (state=$top/user copied=1 user_env=1; start_one) >"$top/start-user.log" 2>&1 &
      else
        (state=$top/$n copied=1; start_one) >"$top/start-$n.log" 2>&1 &
      fi
      pids+=($!)
    done
    failed=0
    for i in "${!pids[@]}"; do
      wait "${pids[$i]}" || { failed=1; echo "testenv: environment ${names[$i]} did not start:" >&2; }
      cat "$top/start-${names[$i]}.log"
    done
    exit "$failed"
    ;;
  stop)
    stop_all
    for n in $(environments); do (state=$top/$n; stop_all); done
    echo "testenv: stopped"
    ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
