#include "launch/WorldLaunch.h"

#include <shellapi.h>

#include <string>

#include "common/DriveSpace.h"
#include "common/InstallFacts.h"
#include "download/UrlFileDownload.h"
#include "framework/BstrText.h"
#include "framework/Trace.h"
#include "launch/WorldName.h"

namespace {

// Beside the 3D browser: the world file, and the browser's own settings file.
const char kWorldFile[] = "\\temp.qxl";
const char kSettingsFile[] = "\\ActiveWorld\\Aworld.ini";

}  // namespace

bool OpenWorldThroughShell(const char* pszWorldFile)
{
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.lpVerb = "open";
    info.lpFile = pszWorldFile;
    info.nShow = SW_SHOW;
    return ::ShellExecuteExA(&info) != FALSE;
}

namespace {

// Made when the module loads, in this order, rather than as local statics: their guards would
// bring the C++ runtime's POSIX thread library into every page's process.
const std::string g_worldC = std::string(kInstallRootC) + kWorldFile;
const std::string g_settingsC = std::string(kInstallRootC) + kSettingsFile;
const std::string g_worldD = std::string(kInstallRootD) + kWorldFile;
const std::string g_settingsD = std::string(kInstallRootD) + kSettingsFile;
const WorldFilePair g_pairC{g_worldC.c_str(), g_settingsC.c_str()};
const WorldFilePair g_pairD{g_worldD.c_str(), g_settingsD.c_str()};

}  // namespace

const WorldFilePair& WorldFilePairC()
{
    return g_pairC;
}

const WorldFilePair& WorldFilePairD()
{
    return g_pairD;
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
    const WorldFilePair& pair = options.hasFreeSpace('c', kRequiredFreeMiB) ? WorldFilePairC() : WorldFilePairD();
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
        Trace("launch: the world name in %s holds a control byte; nothing is done", pair.pszWorldFile);
        outcome.bNameRefused = true;
        ::DeleteFileA(pair.pszWorldFile);
        return outcome;
    }
    if (!::WritePrivateProfileStringA("start", "world", outcome.strWorldName, pair.pszSettingsFile))
        Trace("launch: %s cannot be written (error %lu)", pair.pszSettingsFile, ::GetLastError());
    outcome.bOpened = OpenWorldThroughShell(pair.pszWorldFile);
    if (!outcome.bOpened) Trace("launch: the shell cannot open %s (error %lu)", pair.pszWorldFile, ::GetLastError());
    return outcome;
}
