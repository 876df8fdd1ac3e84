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

namespace {

CString FolderOf(const CString& strPath)
{
    const std::string& path = strPath.Str();
    const size_t at = path.rfind('\\');
    return at == std::string::npos ? CString() : CString(path.substr(0, at));
}

// The world file where this user can write it: the pair's root, else the user's own root.
CString PlaceWorldFile(const char* pszWorldFile, const WorldLaunchOptions& options)
{
    const CString strRoot = FolderOf(pszWorldFile);
    if (options.canWriteFolder(strRoot)) return pszWorldFile;
    const CString strUserRoot = options.perUserRoot();
    if (strUserRoot.IsEmpty() || !MakeFolderPath(strUserRoot)) return pszWorldFile;
    const CString strPlaced = strUserRoot + kWorldFile;
    Trace("launch: %s cannot be written by this user; the world file goes to %s", strRoot.GetString(), strPlaced.GetString());
    return strPlaced;
}

// The 3D browser's settings where it reads them. Its own folder when this user can write there;
// else the copy Windows' file virtualization serves that old program for this user, made from
// the machine's file first so that its other settings stay as they were.
CString PlaceSettingsFile(const char* pszSettingsFile, const WorldLaunchOptions& options)
{
    if (options.canWriteFolder(FolderOf(pszSettingsFile))) return pszSettingsFile;
    const CString strCopy = VirtualStorePath(pszSettingsFile);
    if (strCopy.IsEmpty() || !MakeFolderPath(FolderOf(strCopy))) return pszSettingsFile;
    if (::GetFileAttributesA(strCopy) == INVALID_FILE_ATTRIBUTES && !::CopyFileA(pszSettingsFile, strCopy, TRUE))
        Trace("launch: %s has no copy to start from (error %lu)", pszSettingsFile, ::GetLastError());
    Trace("launch: %s cannot be written by this user; the start world goes to %s", pszSettingsFile, strCopy.GetString());
    return strCopy;
}

}  // namespace

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
    outcome.strWorldFile = PlaceWorldFile(pair.pszWorldFile, options);
    outcome.strSettingsFile = pair.pszSettingsFile;
    const char* pszWorldFile = outcome.strWorldFile;

    // A world file left by an earlier launch must never pass for this one.
    ::DeleteFileA(pszWorldFile);
    DownloadRules rules;
    rules.urls = options.urls;
    rules.cbMaxBytes = kMaxWorldFileBytes;
    const DownloadResult download =
        DownloadUrlToFile(pszUrl, pszWorldFile, rules, options.dwIdleLimitMs, options.dwDeadlineMs);
    outcome.bDownloaded = download.Succeeded() &&
                          ::GetFileAttributesA(pszWorldFile) != INVALID_FILE_ATTRIBUTES;
    if (!outcome.bDownloaded) return outcome;  // the start world stays as the user had it

    if (!ReadWorldName(pszWorldFile, outcome.strWorldName)) {
        // A refused name counts as no world file at all: the start world stays, nothing is opened,
        // and the file is not left for anything else to open.
        Trace("launch: the world name in %s holds a control byte; nothing is done", pszWorldFile);
        outcome.bNameRefused = true;
        ::DeleteFileA(pszWorldFile);
        return outcome;
    }
    outcome.strSettingsFile = PlaceSettingsFile(pair.pszSettingsFile, options);
    if (!::WritePrivateProfileStringA("start", "world", outcome.strWorldName, outcome.strSettingsFile))
        Trace("launch: %s cannot be written (error %lu)", outcome.strSettingsFile.GetString(), ::GetLastError());
    outcome.bOpened = OpenWorldThroughShell(pszWorldFile);
    if (!outcome.bOpened) Trace("launch: the shell cannot open %s (error %lu)", pszWorldFile, ::GetLastError());
    return outcome;
}
