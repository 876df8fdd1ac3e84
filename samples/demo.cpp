// The demo driver: runs the world launch against a URL, as a page's Launch call would, and
// prints what it did. Usage: qxdemo launch <world file URL>
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "launch/WorldLaunch.h"

namespace {

std::wstring Wide(const char* psz)
{
    const int n = ::MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);
    std::wstring w(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, psz, -1, &w[0], n);
    w.resize(w.size() - 1);
    return w;
}

int RunLaunch(const char* pszUrl)
{
    BSTR bstrUrl = ::SysAllocString(Wide(pszUrl).c_str());
    const WorldLaunchOutcome outcome = LaunchWorld(bstrUrl);
    ::SysFreeString(bstrUrl);

    std::printf("world file:     %s\n", outcome.strWorldFile.GetString());
    std::printf("downloaded:     %s\n", outcome.bDownloaded ? "yes" : "no");
    std::printf("settings file:  %s\n", outcome.strSettingsFile.GetString());
    std::printf("start world:    %s\n", outcome.bDownloaded ? outcome.strWorldName.GetString() : "(unchanged)");
    std::printf("shell opened:   %s\n", outcome.bOpened ? "yes" : "no");
    return outcome.bOpened ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "launch") == 0) {
        ::OleInitialize(nullptr);
        const int rc = RunLaunch(argv[2]);
        ::OleUninitialize();
        return rc;
    }
    std::fprintf(stderr, "usage: qxdemo launch <world file URL>\n");
    return 2;
}
