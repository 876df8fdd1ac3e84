// The world launch: fetches a world file beside the 3D browser, makes the world named in it the
// browser's start world, and opens the world file through the shell, which starts the loader
// registered for the document type.
#pragma once

#include <windows.h>
#include <wtypes.h>

#include "common/UserPlaces.h"
#include "download/UrlPolicy.h"
#include "framework/ProcessRights.h"
#include "framework/CString.h"

// The two places of the world file and the browser's settings file; C: when its drive has room.
struct WorldFilePair {
    const char* pszWorldFile;
    const char* pszSettingsFile;
};

struct WorldLaunchOptions {
    // Whether drive C: qualifies; the system's drive space probe unless a test replaces it.
    int (*hasFreeSpace)(char chDrive, ULONGLONG nRequiredMiB);
    DWORD dwIdleLimitMs;  // a transfer silent for longer than this is abandoned
    DWORD dwDeadlineMs;   // and one that lasts longer than this in all
    CUrlPolicy urls;      // where the world file may come from
    // Whether this process may write a folder (ProcessRights.h), and the user's own install root
    // (UserPlaces.h), where a world file goes that the machine's root cannot take.
    bool (*canWriteFolder)(const char* pszFolder) = CanWriteFolder;
    CString (*perUserRoot)() = PerUserInstallRoot;
};

// A world file is a few lines of settings; anything larger is not one.
constexpr ULONGLONG kMaxWorldFileBytes = 1024 * 1024;

// Opens a world file as Launch does: the shell's "open" verb of its document type.
bool OpenWorldThroughShell(const char* pszWorldFile);

const WorldFilePair& WorldFilePairC();
const WorldFilePair& WorldFilePairD();
WorldLaunchOptions DefaultWorldLaunchOptions();

// What one launch did, for tests and the demo; the control's method reports nothing.
struct WorldLaunchOutcome {
    CString strWorldFile;     // where the world file went: the pair's, or the user's own root
    CString strSettingsFile;  // the settings file written: the pair's, or the user's virtualized copy
    bool bDownloaded = false;   // a whole world file arrived; only then is anything written or opened
    bool bNameRefused = false;  // the world file's name held a control byte: nothing written or opened
    CString strWorldName;
    bool bOpened = false;       // the shell accepted the world file
};

// The control's Launch: the URL as the page passed it. Always completes; failures show nothing.
WorldLaunchOutcome LaunchWorld(BSTR bstrURL, const WorldLaunchOptions& options = DefaultWorldLaunchOptions());
WorldLaunchOutcome LaunchWorldFromUrl(const char* pszUrl, const WorldLaunchOptions& options);
