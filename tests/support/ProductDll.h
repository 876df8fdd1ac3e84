// The built qxChecker.DLL as the test programs load it, its path as Windows sees it, and its
// exports.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>

namespace productdll {

using CanUnloadFn = HRESULT(WINAPI*)();
using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using RegisterFn = HRESULT(WINAPI*)();

// The DLL of this build, as a Windows path (Z:\...).
std::string Path();
// The same DLL with a site lock built in: http://127.0.0.1 and updates.example.com.
std::string SiteLockedPath();

// An export of a loaded module, as the function type it has; null when it is missing.
template <typename Fn>
Fn Export(HMODULE hModule, const char* pszName)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(hModule, pszName)));
}

}  // namespace productdll
