#include "framework/ProcessRights.h"

#include <string>
#include <vector>

#include "framework/Handles.h"
#include "framework/Trace.h"

namespace {

using IsProtectedModeFn = HRESULT(WINAPI*)(BOOL*);

bool IsForcedProtectedMode()
{
    char value[4] = {};
    const DWORD cch = ::GetEnvironmentVariableA("QX_FORCE_PROTECTED_MODE", value, sizeof(value));
    return cch == 1 && value[0] == '1';
}

// IE's answer, from the ieframe.dll that hosts the page; never loaded for the question: a host
// that has not loaded it is not IE.
bool IsIeProtectedMode()
{
    const HMODULE hIeFrame = ::GetModuleHandleW(L"ieframe.dll");
    if (!hIeFrame) return false;
    const auto fn = reinterpret_cast<IsProtectedModeFn>(
        reinterpret_cast<void*>(::GetProcAddress(hIeFrame, "IEIsProtectedModeProcess")));
    BOOL bProtected = FALSE;
    return fn && SUCCEEDED(fn(&bProtected)) && bProtected;
}

const char* IntegrityName(DWORD dwRid)
{
    if (dwRid < SECURITY_MANDATORY_LOW_RID) return "untrusted";
    if (dwRid < SECURITY_MANDATORY_MEDIUM_RID) return "low";
    if (dwRid < SECURITY_MANDATORY_HIGH_RID) return "medium";
    if (dwRid < SECURITY_MANDATORY_SYSTEM_RID) return "high";
    return "system";
}

}  // namespace

DWORD ProcessIntegrityRid()
{
    UniqueKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put())) return SECURITY_MANDATORY_MEDIUM_RID;
    DWORD cb = 0;
    ::GetTokenInformation(token.Get(), TokenIntegrityLevel, nullptr, 0, &cb);
    if (cb < sizeof(TOKEN_MANDATORY_LABEL) || cb > 4096) return SECURITY_MANDATORY_MEDIUM_RID;
    std::vector<BYTE> buffer(cb);
    if (!::GetTokenInformation(token.Get(), TokenIntegrityLevel, buffer.data(), cb, &cb))
        return SECURITY_MANDATORY_MEDIUM_RID;
    const PSID pSid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
    if (!pSid || !::IsValidSid(pSid) || *::GetSidSubAuthorityCount(pSid) == 0) return SECURITY_MANDATORY_MEDIUM_RID;
    return *::GetSidSubAuthority(pSid, *::GetSidSubAuthorityCount(pSid) - 1);
}

bool IsProtectedModeProcess()
{
    return IsForcedProtectedMode() || IsIeProtectedMode() || ProcessIntegrityRid() < SECURITY_MANDATORY_MEDIUM_RID;
}

bool CanWriteFolder(const char* pszFolder)
{
    if (!pszFolder || !*pszFolder) return false;
    std::string folder = pszFolder;
    if (folder.back() != '\\') folder += '\\';
    if (::GetFileAttributesA(pszFolder) == INVALID_FILE_ATTRIBUTES) {
        if (!::CreateDirectoryA(pszFolder, nullptr)) {
            Trace("rights: %.300s cannot be made (error %lu)", pszFolder, ::GetLastError());
            return false;
        }
        ::RemoveDirectoryA(pszFolder);
        return true;
    }
    // A name no one else uses at the same moment: this process and a counter of its own.
    static LONG s_nTry = 0;
    char name[64];
    ::wsprintfA(name, "~qx%lx-%lx.tmp", ::GetCurrentProcessId(), static_cast<unsigned long>(::InterlockedIncrement(&s_nTry)));
    const std::string probe = folder + name;
    if (probe.size() >= MAX_PATH) {
        Trace("rights: %.300s is too long to be tried", pszFolder);
        return false;
    }
    UniqueFileHandle file(::CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                        nullptr));
    if (!file) {
        Trace("rights: no file can be made in %.300s (error %lu)", pszFolder, ::GetLastError());
        return false;
    }
    return true;
}

bool CanWriteKey(HKEY hRoot, const char* pszKey, REGSAM samView)
{
    if (!hRoot || !pszKey) return false;
    std::string key = pszKey;
    for (;;) {
        UniqueRegKey hKey;
        const LONG lResult = ::RegOpenKeyExA(hRoot, key.c_str(), 0, KEY_CREATE_SUB_KEY | KEY_SET_VALUE | samView, hKey.Put());
        if (lResult == ERROR_SUCCESS) return true;
        if (lResult != ERROR_FILE_NOT_FOUND || key.empty()) {
            Trace("rights: the key %.300s cannot be written (error %ld)", key.empty() ? "(root)" : key.c_str(), lResult);
            return false;
        }
        const size_t at = key.rfind('\\');
        key.erase(at == std::string::npos ? 0 : at);
    }
}

void TraceProcessContext(const char* pszMethod)
{
    const DWORD dwRid = ProcessIntegrityRid();
    Trace("context: %s at %s integrity (0x%lx); Protected Mode: %s%s", pszMethod, IntegrityName(dwRid), dwRid,
          IsIeProtectedMode() ? "IE says yes" : "IE says no or is not the host",
          IsForcedProtectedMode() ? ", forced by QX_FORCE_PROTECTED_MODE" : "");
}
