// Whether a drive's root has enough free space for the installation and the world file.
#pragma once

#include <windows.h>

// 1 when the root of drive `chDrive` has at least `nRequiredMiB` MiB (2^20 bytes) free, counting
// every free byte of the volume, not only the caller's quota; 0 when it has less or cannot be
// queried.
int HasFreeSpace(char chDrive, ULONGLONG nRequiredMiB);

// The platform calls behind the probe, replaceable where a test cannot shape a real drive.
struct DiskSpaceQueries {
    // Finds "GetDiskFreeSpaceExA"; null where the system has none.
    FARPROC (*findFreeSpaceEx)();
    BOOL(WINAPI* getDiskFreeSpace)(LPCSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD);
};

const DiskSpaceQueries& SystemDiskSpaceQueries();
int HasFreeSpace(const DiskSpaceQueries& queries, char chDrive, ULONGLONG nRequiredMiB);
