#include "launch/WorldLaunch.h"

#include <shellapi.h>

#include "download/UrlFileDownload.h"
#include "framework/BstrText.h"
#include "install/DriveSpace.h"
#include "launch/WorldName.h"

namespace {

constexpr ULONGLONG kRequiredMiB = 50;

bool OpenThroughShell(const char* pszWorldFile)
{
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.lpVerb = "open";
    info.lpFile = pszWorldFile;
    info.nShow = SW_SHOW;
    return ::ShellExecuteExA(&info) != FALSE;
}

}  // namespace

const WorldFilePair& WorldFilePairC()
{
    static const WorldFilePair pair{"C:\\Program Files\\Activeworlds\\temp.qxl",
                                    "C:\\Program Files\\Activeworlds\\ActiveWorld\\Aworld.ini"};
    return pair;
}

const WorldFilePair& WorldFilePairD()
{
    static const WorldFilePair pair{"D:\\Program Files\\Activeworlds\\temp.qxl",
                                    "D:\\Program Files\\Activeworlds\\ActiveWorld\\Aworld.ini"};
    return pair;
}

WorldLaunchOptions DefaultWorldLaunchOptions()
{
    return WorldLaunchOptions{HasFreeSpace, kDefaultDownloadIdleLimitMs, kDefaultDownloadDeadlineMs, CUrlPolicy()};
}

WorldLaunchOutcome LaunchWorld(BSTR bstrURL, const WorldLaunchOptions& options)
{
    const CString url = AnsiFromBstr(bstrURL);
    return LaunchWorldFromUrl(url, options);
}

WorldLaunchOutcome LaunchWorldFromUrl(const char* pszUrl, const WorldLaunchOptions& options)
{
    // Only C: is probed: D: is where the world goes when C: is short of room, whatever D: holds.
    const WorldFilePair& pair = options.hasFreeSpace('c', kRequiredMiB) ? WorldFilePairC() : WorldFilePairD();
    WorldLaunchOutcome outcome;
    outcome.strWorldFile = pair.pszWorldFile;
    outcome.strSettingsFile = pair.pszSettingsFile;

    // A world file left by an earlier launch must never pass for this one.
    ::DeleteFileA(pair.pszWorldFile);
    DownloadRules rules;
    rules.urls = options.urls;
    rules.cbMaxBytes = kMaxWorldFileBytes;
    const DownloadResult download =
        DownloadUrlToFile(pszUrl, pair.pszWorldFile, rules, options.dwIdleLimitMs, options.dwDeadlineMs);
    outcome.bDownloaded = download.Succeeded() &&
                          ::GetFileAttributesA(pair.pszWorldFile) != INVALID_FILE_ATTRIBUTES;
    if (!outcome.bDownloaded) return outcome;  // the start world stays as the user had it

    if (!ReadWorldName(pair.pszWorldFile, outcome.strWorldName)) {
        // A refused name counts as no world file at all: the start world stays, nothing is opened,
        // and the file is not left for anything else to open.
        outcome.bNameRefused = true;
        ::DeleteFileA(pair.pszWorldFile);
        return outcome;
    }
    ::WritePrivateProfileStringA("start", "world", outcome.strWorldName, pair.pszSettingsFile);
    outcome.bOpened = OpenThroughShell(pair.pszWorldFile);
    return outcome;
}
