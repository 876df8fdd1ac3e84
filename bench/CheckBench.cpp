// Check's and Launch's own cost over the network's, one sample line per run (see BenchCommon.h),
// each way interleaved with its bare fetch so that whatever else the machine does hits both alike.
// Usage:
//   qxbench_check route <runs> <description URL> <loader URL> <scratch file>
//     a full installation (nothing recorded before each run) against a bare fetch of the loader;
//     Check on the current route (the loader installed and current) against a bare fetch of the
//     description; the hidden installer window alone
//   qxbench_check launch <runs> <world URL> <scratch file>
//     LaunchWorldFromUrl against a bare fetch of the world file, after `route`: the shell starts
//     the installed loader for it (the call returns once the loader's process exists)
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/BenchCommon.h"
#include "install/CheckRequest.h"
#include "launch/WorldLaunch.h"
#include "resources/resource.h"

namespace {

void BareFetch(const char* pszCase, const char* pszUrl, const char* pszFile)
{
    HRESULT hr;
    const double seconds = TimedUrlDownloadToFile(pszUrl, pszFile, hr);
    PrintSample(pszCase, SUCCEEDED(hr) ? "bare-fetch" : "bare-fetch-failed", seconds);
}

void TimedCheck(const char* pszCase, const char* pszUrl)
{
    BSTR bstr = ::SysAllocString(Wide(pszUrl).c_str());
    const double start = Now();
    const LONG bOk = RunCheckRequest(bstr);
    const double seconds = Now() - start;
    ::SysFreeString(bstr);
    PrintSample(pszCase, bOk == 1 ? "Check" : "Check-failed", seconds);
}

void Route(int runs, const char* pszDescriptionUrl, const char* pszLoaderUrl, const char* pszScratch)
{
    for (int i = 0; i < runs; ++i) {
        BareFetch("full-installation", pszLoaderUrl, pszScratch);
        // Without the recorded install folder the next Check finds nothing installed.
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Tessaron\\qxLoader");
        TimedCheck("full-installation", pszDescriptionUrl);
    }
    for (int i = 0; i < runs; ++i) {
        BareFetch("current-route", pszDescriptionUrl, pszScratch);
        TimedCheck("current-route", pszDescriptionUrl);
    }
    // Part of the current route's cost is not the network's: the hidden installer window alone.
    for (int i = 0; i < runs; ++i) {
        const double start = Now();
        CInstallDlg installer(nullptr);
        installer.Create(IDD_INSTALL, nullptr);
        installer.DestroyWindow();
        PrintSample("installer-window", "create-destroy", Now() - start);
    }
}

void Launch(int runs, const char* pszWorldUrl, const char* pszScratch)
{
    int arrived = 0, opened = 0;
    for (int i = 0; i < runs; ++i) {
        BareFetch("launch", pszWorldUrl, pszScratch);
        const double start = Now();
        const WorldLaunchOutcome outcome = LaunchWorldFromUrl(pszWorldUrl, DefaultWorldLaunchOptions());
        PrintSample("launch", outcome.bDownloaded ? "Launch" : "Launch-failed", Now() - start);
        arrived += outcome.bDownloaded;
        opened += outcome.bOpened;
    }
    std::printf("# launch: the world file arrived in %d of %d runs; the shell opened it in %d\n", arrived, runs, opened);
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 2 ? std::atoi(argv[2]) : 0;
    const bool route = argc == 6 && std::strcmp(argv[1], "route") == 0;
    const bool launch = argc == 5 && std::strcmp(argv[1], "launch") == 0;
    if (runs < 1 || !(route || launch)) {
        std::fprintf(stderr,
                     "usage: qxbench_check route <runs> <description URL> <loader URL> <scratch file>\n"
                     "       qxbench_check launch <runs> <world URL> <scratch file>\n");
        return 2;
    }
    ::OleInitialize(nullptr);
    if (route)
        Route(runs, argv[3], argv[4], argv[5]);
    else
        Launch(runs, argv[3], argv[4]);
    ::OleUninitialize();
    return 0;
}
