#!/usr/bin/env bash
# The job the emulated machine runs: a build folder's Wine suite, as ctest runs it on the host.
#   suite.sh <build-dir> <log> [ctest arguments]
# ctest's output goes to the console and to <log> (on the host's share), whose last lines the host
# reports; the exit code is ctest's.
set -uo pipefail
build=${1:?usage: suite.sh <build-dir> <log> [ctest arguments]} log=${2:?usage}
shift 2
# The run's state (Wine prefix, display, server, drives) on the machine's own disk: a prefix over
# the share would cost minutes, and the host's teststate stays untouched.
state=$build/teststate
mkdir -p "$state" /var/tmp/qx-teststate
mount --bind /var/tmp/qx-teststate "$state"
# Every wait of a test and every test's time limit grows by this factor here.
export QX_TIME_SCALE=${QX_TIME_SCALE:-10}
echo "vm: $(nproc) processors, clock source $(cat /sys/devices/system/clocksource/clocksource0/current_clocksource)," \
  "QX_TIME_SCALE=$QX_TIME_SCALE"
# A test that fails here runs once more: the harness's waits race a machine thirty times slower
# than the one they were written on. A test failing twice fails the run; the log keeps both.
# Test programs run side by side, each in a test environment of its own, as on the host.
cd "$build" && ctest --output-on-failure -j "$(($(nproc) + 1))" --repeat until-pass:2 "$@" 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
umount "$state"
exit "$rc"
