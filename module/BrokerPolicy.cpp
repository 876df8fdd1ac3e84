#include "module/BrokerPolicy.h"

#include <string>

#include "common/BrokerCommand.h"
#include "framework/Handles.h"
#include "framework/ModulePath.h"
#include "framework/Trace.h"
#include "framework/WinApp.h"

const char kBrokerPolicyKey[] =
    "SOFTWARE\\Microsoft\\Internet Explorer\\Low Rights\\ElevationPolicy\\{5E0C9759-56BA-4538-9AE9-9D9F5D15548A}";

namespace {

// Started silently at medium integrity.
constexpr DWORD kPolicyMediumSilent = 3;

LONG SetText(HKEY hKey, const wchar_t* pszName, const std::wstring& text)
{
    return ::RegSetValueExW(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

HRESULT UpdateBrokerPolicy(BOOL bRegister)
{
    if (!bRegister) {
        const LONG lResult = ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kBrokerPolicyKey);
        if (lResult != ERROR_SUCCESS && lResult != ERROR_FILE_NOT_FOUND)
            Trace("registration: the broker's elevation policy cannot be removed (error %ld)", lResult);
        return S_OK;
    }
    // IE compares the folder without its last backslash.
    std::wstring folder = ModulePathW(AfxGetInstanceHandle());
    const size_t at = folder.rfind(L'\\');
    if (at == std::wstring::npos) return E_UNEXPECTED;
    folder.erase(at);

    UniqueRegKey hKey;
    LONG lResult = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kBrokerPolicyKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                     hKey.Put(), nullptr);
    if (lResult == ERROR_SUCCESS) lResult = SetText(hKey.Get(), L"AppName", kBrokerFileName);
    if (lResult == ERROR_SUCCESS) lResult = SetText(hKey.Get(), L"AppPath", folder);
    if (lResult == ERROR_SUCCESS)
        lResult = ::RegSetValueExW(hKey.Get(), L"Policy", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kPolicyMediumSilent),
                                   sizeof(kPolicyMediumSilent));
    if (lResult != ERROR_SUCCESS) {
        Trace("registration: the broker's elevation policy cannot be written (error %ld)", lResult);
        return HRESULT_FROM_WIN32(lResult);
    }
    return S_OK;
}
