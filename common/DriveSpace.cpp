#include "common/DriveSpace.h"

namespace {

using GetDiskFreeSpaceExAFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

// Looked up on every call, so the probe also runs on systems whose kernel32 lacks it.
FARPROC FindSystemFreeSpaceEx()
{
    HMODULE hKernel = ::GetModuleHandleA("kernel32.dll");
    return hKernel ? ::GetProcAddress(hKernel, "GetDiskFreeSpaceExA") : nullptr;
}

}  // namespace

const DiskSpaceQueries& SystemDiskSpaceQueries()
{
    static const DiskSpaceQueries queries{FindSystemFreeSpaceEx, ::GetDiskFreeSpaceA};
    return queries;
}

int HasFreeSpace(char chDrive, ULONGLONG nRequiredMiB)
{
    return HasFreeSpace(SystemDiskSpaceQueries(), chDrive, nRequiredMiB);
}

int HasFreeSpace(const DiskSpaceQueries& queries, char chDrive, ULONGLONG nRequiredMiB)
{
    const char szRoot[] = {chDrive, ':', '\\', '\0'};

    ULONGLONG nFreeBytes = 0;
    // GetProcAddress hands every function out under one type; the cast through void* says so.
    if (auto pfnEx = reinterpret_cast<GetDiskFreeSpaceExAFn>(reinterpret_cast<void*>(queries.findFreeSpaceEx()))) {
        ULARGE_INTEGER available{}, total{}, totalFree{};
        if (!pfnEx(szRoot, &available, &total, &totalFree)) return 0;
        nFreeBytes = totalFree.QuadPart;  // the whole volume's free space, not the caller's quota
    } else {
        DWORD nSectorsPerCluster = 0, nBytesPerSector = 0, nFreeClusters = 0, nTotalClusters = 0;
        if (!queries.getDiskFreeSpace(szRoot, &nSectorsPerCluster, &nBytesPerSector, &nFreeClusters,
                                      &nTotalClusters))
            return 0;
        nFreeBytes = static_cast<ULONGLONG>(nSectorsPerCluster) * nBytesPerSector * nFreeClusters;
    }
    return (nFreeBytes >> 20) >= nRequiredMiB ? 1 : 0;
}
