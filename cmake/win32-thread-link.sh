#!/bin/sh
# Links with the toolchain's win32-thread driver in place of the POSIX one it is given (CMake's
# linker launcher for the DLL): its runtime then uses Windows' own threading, not the POSIX thread
# library, and nothing compiled may call a POSIX thread function, or the link fails.
driver=$1
shift
case "$driver" in *-posix) exec "${driver%-posix}-win32" "$@" ;; *) exec "$driver" "$@" ;; esac
