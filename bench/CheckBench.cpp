// Check's and Launch's own cost over the network's, one sample line per run (see BenchCommon.h),
// each way interleaved with its bare fetch so that whatever else the machine does hits both alike.
// Usage:
//   qxbench_check route <runs> <description URL> <loader URL> <scratch file> [<description URL>]
//     a full installation (nothing recorded before each run) against a bare fetch of the loader,
//     and again with the second description, which names no digest for the loader, when given;
//     Check on the current route (the loader installed and current) against a bare fetch of the
//     description; the hidden installer window alone
//   qxbench_check launch <runs> <world URL> <scratch file>
//     LaunchWorldFromUrl against a bare fetch of the world file, after `route`: the shell starts
//     the installed loader for it (the call returns once the loader's process exists). Launch's
//     own share shows against fetch-and-open: the bare fetch into a .qxl file beside the scratch
//     file, then the same shell open
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tlhelp32.h>
#include <string>

#include "bench/BenchCommon.h"
#include "common/InstallFacts.h"
#include "framework/Handles.h"
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

void FullInstallation(const char* pszCase, int runs, const char* pszDescriptionUrl, const char* pszLoaderUrl,
                      const char* pszScratch)
{
    for (int i = 0; i < runs; ++i) {
        BareFetch(pszCase, pszLoaderUrl, pszScratch);
        // Without the recorded install folder the next Check finds nothing installed.
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Tessaron\\qxLoader");
        TimedCheck(pszCase, pszDescriptionUrl);
    }
}

void Route(int runs, const char* pszDescriptionUrl, const char* pszLoaderUrl, const char* pszScratch,
           const char* pszUndigestedUrl)
{
    // The digest's share apart: it is hashed as the bytes arrive, on the receiving thread.
    if (pszUndigestedUrl)
        FullInstallation("full-installation-without-digest", runs, pszUndigestedUrl, pszLoaderUrl, pszScratch);
    // Last, so the loader is left installed and current for what follows.
    FullInstallation("full-installation", runs, pszDescriptionUrl, pszLoaderUrl, pszScratch);
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

// The loader the shell started for one timed run must be gone before the next starts, or the two
// share the processor. Bounded: a loader that hangs costs its run 5 s, not the benchmark.
void WaitUntilNoLoaderRuns()
{
    for (int i = 0; i < 500; ++i) {
        bool bRunning = false;
        const UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (!snapshot) return;
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL b = ::Process32First(snapshot.Get(), &entry); b && !bRunning; b = ::Process32Next(snapshot.Get(), &entry))
            bRunning = ::lstrcmpiA(entry.szExeFile, kLoaderFileName) == 0;
        if (!bRunning) return;
        ::Sleep(10);
    }
    std::printf("# launch: a loader still runs after 5 s\n");
}

// What a page would pay without the control: the world file fetched, then opened as Launch
// opens it.
void FetchAndOpen(const char* pszWorldUrl, const std::string& worldFile)
{
    HRESULT hr;
    const double start = Now();
    TimedUrlDownloadToFile(pszWorldUrl, worldFile.c_str(), hr);
    const bool bOpened = SUCCEEDED(hr) && OpenWorldThroughShell(worldFile.c_str());
    PrintSample("launch", bOpened ? "fetch-and-open" : "fetch-and-open-failed", Now() - start);
}

void Launch(int runs, const char* pszWorldUrl, const char* pszScratch)
{
    const std::string worldFile = std::string(pszScratch) + ".qxl";
    int arrived = 0, opened = 0;
    for (int i = 0; i < runs; ++i) {
        BareFetch("launch", pszWorldUrl, pszScratch);
        FetchAndOpen(pszWorldUrl, worldFile);
        WaitUntilNoLoaderRuns();
        const double start = Now();
        const WorldLaunchOutcome outcome = LaunchWorldFromUrl(pszWorldUrl, DefaultWorldLaunchOptions());
        PrintSample("launch", outcome.bDownloaded ? "Launch" : "Launch-failed", Now() - start);
        WaitUntilNoLoaderRuns();
        arrived += outcome.bDownloaded;
        opened += outcome.bOpened;
    }
    std::printf("# launch: the world file arrived in %d of %d runs; the shell opened it in %d\n", arrived, runs, opened);
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 2 ? std::atoi(argv[2]) : 0;
    const bool route = (argc == 6 || argc == 7) && std::strcmp(argv[1], "route") == 0;
    const bool launch = argc == 5 && std::strcmp(argv[1], "launch") == 0;
    if (runs < 1 || !(route || launch)) {
        std::fprintf(stderr,
                     "usage: qxbench_check route <runs> <description URL> <loader URL> <scratch file> [<description URL>]\n"
                     "       qxbench_check launch <runs> <world URL> <scratch file>\n");
        return 2;
    }
    ::OleInitialize(nullptr);
    if (route)
        Route(runs, argv[3], argv[4], argv[5], argc == 7 ? argv[6] : nullptr);
    else
        Launch(runs, argv[3], argv[4]);
    ::OleUninitialize();
    return 0;
}
