// Check's own cost, printed as figures: the current route against a bare blocking fetch of the
// same description, and a full installation against a bare fetch of the same loader.
// Usage: qxbench_check <description URL> <loader URL> <scratch file>
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <urlmon.h>

#include <cstdio>
#include <string>

#include "install/CheckRequest.h"
#include "resources/resource.h"

namespace {

double Now()
{
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double BareFetch(const char* url, const char* file)
{
    ::DeleteFileA(file);
    const double start = Now();
    ::URLDownloadToFileA(nullptr, url, file, 0, nullptr);
    return Now() - start;
}

double TimedCheck(const std::string& url, LONG& bOk)
{
    BSTR bstr = ::SysAllocString(std::wstring(url.begin(), url.end()).c_str());
    const double start = Now();
    bOk = RunCheckRequest(bstr);
    const double seconds = Now() - start;
    ::SysFreeString(bstr);
    return seconds;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: qxbench_check <description URL> <loader URL> <scratch file>\n");
        return 2;
    }
    ::OleInitialize(nullptr);
    const double loaderBare = BareFetch(argv[2], argv[3]);
    LONG bOk = 0;
    const double full = TimedCheck(argv[1], bOk);
    std::printf("full-installation %.3f s (bOk %ld), bare loader fetch %.3f s, ratio %.2f\n", full, bOk, loaderBare,
                full / loaderBare);

    const int rounds = 5;
    double current = 0, bare = 0;
    for (int i = 0; i < rounds; ++i) {
        bare += BareFetch(argv[1], argv[3]);
        current += TimedCheck(argv[1], bOk);
    }
    std::printf("current-route %.4f s (bOk %ld), bare description fetch %.4f s, ratio %.2f (mean of %d)\n",
                current / rounds, bOk, bare / rounds, current / bare, rounds);

    // Part of the difference is not the network's: the hidden installer window alone.
    double window = 0;
    for (int i = 0; i < rounds; ++i) {
        const double start = Now();
        CInstallDlg installer(nullptr);
        installer.Create(IDD_INSTALL, nullptr);
        installer.DestroyWindow();
        window += Now() - start;
    }
    std::printf("hidden-installer-window %.4f s (mean of %d)\n", window / rounds, rounds);
    ::OleUninitialize();
    return 0;
}
