// A DLL of the system, loaded from the system folder only (never from the current or the
// application's folder, where a page's download could lie), by the code that needs it, when it
// needs it: most Checks never take a digest or a signature, and importing their DLLs made every
// page's first Check pay for loading them.
#pragma once

#include <windows.h>

#include "framework/Handles.h"

using LoadLibraryExFn = HMODULE(WINAPI*)(LPCWSTR, HANDLE, DWORD);

// Null (traced) when the system folder has no such DLL. Where the platform does not know
// LOAD_LIBRARY_SEARCH_SYSTEM32 (Vista, and Windows 7 without update KB2533623), the DLL is loaded
// by its full path in the system folder instead. `loader` is the platform's LoadLibraryExW except
// in the tests, which take that path on a platform that knows the flag.
UniqueLibrary LoadSystemLibrary(const wchar_t* pszName, LoadLibraryExFn loader = ::LoadLibraryExW);

// An entry point of a loaded DLL as the function type it has; false when it is missing.
template <typename Fn>
bool ResolveEntry(HMODULE hModule, const char* pszName, Fn& fn)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(hModule, pszName)));
    return fn != nullptr;
}
