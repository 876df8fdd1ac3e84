#!/usr/bin/env bash
# Runs every test from a fresh machine: installs the packages, builds, and runs ctest, whose
# fixtures start the virtual display, a fresh Wine prefix and the loopback server and stop them
# afterwards. Extra arguments go to ctest (e.g. -R WorldLaunch).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QX_BUILD_DIR:-$root/build}
bash "$root/scripts/install-deps.sh"
QX_BUILD_DIR=$build bash "$root/scripts/build.sh"
# Whatever happens to ctest, nothing of the environment is left running.
trap 'bash "$root/tests/support/testenv.sh" stop "$build/teststate" "$root" >/dev/null 2>&1 || true' EXIT
cd "$build"
ctest --output-on-failure "$@"
