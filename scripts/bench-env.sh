# Sourced by the benchmark scripts: installs what they need, builds the architecture they run,
# starts the test environment in build/<arch>/benchstate (stopped again when the script exits)
# and sets root, arch, build, state, server (the loopback test server's address) and runs
# (QX_BENCH_RUNS, 5 unless set). bench_exe runs one of the benchmark programs under Wine;
# bench_figures summarises their samples.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/install-deps.sh" >/dev/null
# The shipped 32-bit DLL where this machine runs 32-bit code, else the twin; the choice is printed.
arch=$(bash "$root/scripts/pick-arch.sh")
build=${QX_BUILD_ROOT:-$root/build}/$arch
state=$build/benchstate
runs=${QX_BENCH_RUNS:-5}
QX_BUILD_ROOT=$(dirname "$build") bash "$root/scripts/build.sh" "$arch" >/dev/null
trap 'bash "$root/tests/support/testenv.sh" stop "$state" "$root" >/dev/null 2>&1 || true' EXIT
bash "$root/tests/support/testenv.sh" start "$state" "$root" "$arch" >/dev/null
. "$state/env.sh"
server="http://127.0.0.1:$(cat "$state/server.port")"
# Wine's first start in a prefix is slow; no run should pay for it.
wine cmd /c exit </dev/null >/dev/null 2>&1

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
# Sample lines only: Wine's chatter goes, and so do the console's carriage returns.
bench_exe() {
  local exe=$1
  shift
  wine "$build/bench/$exe.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'
}
# Debian's Python, whose matplotlib install-deps installs, whatever python3 comes first on PATH.
bench_figures() { /usr/bin/python3 "$root/scripts/bench-figures.py" "$@"; }
