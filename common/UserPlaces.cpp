#include "common/UserPlaces.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <memory>
#include <string>

#include "common/InstallFacts.h"
#include "framework/ProtectedFolder.h"
#include "framework/TextConversion.h"
#include "framework/Trace.h"

namespace {

CString KnownFolder(REFKNOWNFOLDERID id)
{
    PWSTR pszPath = nullptr;
    const HRESULT hr = ::SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &pszPath);
    const std::unique_ptr<wchar_t, void(WINAPI*)(LPVOID)> owned(pszPath, ::CoTaskMemFree);
    if (FAILED(hr) || !pszPath) return CString();
    return AnsiFromWide(pszPath, ::wcslen(pszPath));
}

}  // namespace

CString PerUserInstallRoot()
{
    CString programs = KnownFolder(FOLDERID_UserProgramFiles);
    if (programs.IsEmpty()) {
        // Where Windows 7 and later put it; a platform that does not name it still has the first.
        const CString local = KnownFolder(FOLDERID_LocalAppData);
        if (local.IsEmpty()) {
            Trace("places: the user's local application data folder is not known");
            return CString();
        }
        programs = local + "\\Programs";
    }
    return programs + "\\" + kInstallRootName;
}

CString VirtualStorePath(const char* pszMachinePath)
{
    if (!pszMachinePath || !pszMachinePath[0] || pszMachinePath[1] != ':' || pszMachinePath[2] != '\\') return CString();
    const CString local = KnownFolder(FOLDERID_LocalAppData);
    if (local.IsEmpty()) return CString();
    return local + "\\VirtualStore" + (pszMachinePath + 2);
}

bool MakeFolderPath(const char* pszPath)
{
    if (!pszPath || !*pszPath) return false;
    if (::GetFileAttributesA(pszPath) != INVALID_FILE_ATTRIBUTES) return true;
    std::string path = pszPath;
    const size_t at = path.rfind('\\');
    if (at == std::string::npos || at < 3) return false;
    if (!MakeFolderPath(path.substr(0, at).c_str())) return false;
    if (CreateProtectedFolder(pszPath) || ::GetLastError() == ERROR_ALREADY_EXISTS) return true;
    Trace("places: %.300s cannot be made (error %lu)", pszPath, ::GetLastError());
    return false;
}
