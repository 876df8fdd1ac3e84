// The drive space probe: the 50 MiB boundary, 64-bit counts, the lookup on every call, the
// fallback to cluster counts, and real Wine drives.
#include <gtest/gtest.h>

#include <string>

#include "common/DriveSpace.h"

namespace {

struct FakeDisk {
    bool hasEx = true;
    BOOL succeeds = TRUE;
    ULONGLONG totalFreeBytes = 0;
    ULONGLONG callerFreeBytes = 0;  // what a quota would leave: must not be what counts
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0;
    int lookups = 0;
    std::string lastRoot;
} g_disk;

BOOL WINAPI FakeGetDiskFreeSpaceExA(LPCSTR root, PULARGE_INTEGER available, PULARGE_INTEGER total,
                                    PULARGE_INTEGER totalFree)
{
    g_disk.lastRoot = root;
    available->QuadPart = g_disk.callerFreeBytes;
    total->QuadPart = ~0ULL;
    totalFree->QuadPart = g_disk.totalFreeBytes;
    return g_disk.succeeds;
}

FARPROC FakeFindEx()
{
    ++g_disk.lookups;
    return g_disk.hasEx ? reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakeGetDiskFreeSpaceExA)) : nullptr;
}

BOOL WINAPI FakeGetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                  LPDWORD freeClusters, LPDWORD totalClusters)
{
    g_disk.lastRoot = root;
    *sectorsPerCluster = g_disk.sectorsPerCluster;
    *bytesPerSector = g_disk.bytesPerSector;
    *freeClusters = g_disk.freeClusters;
    *totalClusters = g_disk.freeClusters;
    return g_disk.succeeds;
}

const DiskSpaceQueries kFakeQueries{FakeFindEx, FakeGetDiskFreeSpaceA};

constexpr ULONGLONG kMiB = 1ULL << 20;

struct ExCase {
    const char* name;
    ULONGLONG totalFreeBytes;
    ULONGLONG requiredMiB;
    int expected;
};

const ExCase kExCases[] = {
    {"exactly 50 MiB is enough", 50 * kMiB, 50, 1},
    {"one byte less is not", 50 * kMiB - 1, 50, 0},
    {"nothing free", 0, 50, 0},
    {"above 4 GiB counts in full", (4096 + 50) * kMiB, 4096 + 50, 1},
    {"above 4 GiB, one MiB short", (4096 + 50) * kMiB, 4096 + 51, 0},
    {"4 GiB + 1 MiB does not wrap to 1 MiB", 4096 * kMiB + kMiB, 2, 1},
    {"zero asked is always met", 0, 0, 1},
};

}  // namespace

TEST(DriveSpace, CountsTheVolumesFreeBytesShiftedToMiB)
{
    for (const ExCase& c : kExCases) {
        g_disk = FakeDisk{};
        g_disk.totalFreeBytes = c.totalFreeBytes;
        EXPECT_EQ(c.expected, HasFreeSpace(kFakeQueries, 'c', c.requiredMiB)) << c.name;
        EXPECT_EQ("c:\\", g_disk.lastRoot) << c.name;
    }
}

TEST(DriveSpace, TotalFreeBytesCountNotTheQuota)
{
    g_disk = FakeDisk{};
    g_disk.totalFreeBytes = 100 * kMiB;
    g_disk.callerFreeBytes = 0;
    EXPECT_EQ(1, HasFreeSpace(kFakeQueries, 'd', 50));
    EXPECT_EQ("d:\\", g_disk.lastRoot);
}

TEST(DriveSpace, LooksUpTheExtendedQueryOnEveryCall)
{
    g_disk = FakeDisk{};
    g_disk.totalFreeBytes = 100 * kMiB;
    HasFreeSpace(kFakeQueries, 'c', 50);
    HasFreeSpace(kFakeQueries, 'c', 50);
    EXPECT_EQ(2, g_disk.lookups);
}

TEST(DriveSpace, FailedQueryMeansNo)
{
    g_disk = FakeDisk{};
    g_disk.totalFreeBytes = 100 * kMiB;
    g_disk.succeeds = FALSE;
    EXPECT_EQ(0, HasFreeSpace(kFakeQueries, 'c', 50));
    g_disk.hasEx = false;
    g_disk.sectorsPerCluster = 8;
    g_disk.bytesPerSector = 512;
    g_disk.freeClusters = 1000000;
    EXPECT_EQ(0, HasFreeSpace(kFakeQueries, 'c', 50));
}

TEST(DriveSpace, FallsBackToClusterCountsWithoutTheExtendedQuery)
{
    struct ClusterCase {
        DWORD sectorsPerCluster, bytesPerSector, freeClusters;
        ULONGLONG requiredMiB;
        int expected;
    };
    const ClusterCase cases[] = {
        {8, 512, 12800, 50, 1},           // 8 * 512 * 12800 = exactly 50 MiB
        {8, 512, 12799, 50, 0},           // one cluster short
        {64, 4096, 0x10000, 16384, 1},    // 16 GiB: the products must be 64-bit
        {64, 4096, 0x10000, 16385, 0},
        {128, 65535, 0xFFFFFFFF, 1, 1},   // every factor at its widest
    };
    for (const ClusterCase& c : cases) {
        g_disk = FakeDisk{};
        g_disk.hasEx = false;
        g_disk.sectorsPerCluster = c.sectorsPerCluster;
        g_disk.bytesPerSector = c.bytesPerSector;
        g_disk.freeClusters = c.freeClusters;
        EXPECT_EQ(c.expected, HasFreeSpace(kFakeQueries, 'c', c.requiredMiB))
            << c.sectorsPerCluster << " x " << c.bytesPerSector << " x " << c.freeClusters;
        EXPECT_EQ("c:\\", g_disk.lastRoot);
    }
}

TEST(DriveSpace, RealWineDrives)
{
    // The prefix's C: lives on the build machine's disk, which has far more than 50 MiB free.
    EXPECT_EQ(1, HasFreeSpace('c', 50));
    // No drive is mapped to Q: in the test prefix.
    EXPECT_EQ(0, HasFreeSpace('q', 50));
    // Nobody has 2^63 MiB.
    EXPECT_EQ(0, HasFreeSpace('c', 1ULL << 63));
}
