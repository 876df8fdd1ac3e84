// A DLL of the system, loaded from the system folder only (never from the current or the
// application's folder, where a page's download could lie), by the code that needs it, when it
// needs it: most Checks never take a digest or a signature, and importing their DLLs made every
// page's first Check pay for loading them.
#pragma once

#include <windows.h>

#include "framework/Handles.h"

// Null (traced) when the system folder has no such DLL.
UniqueLibrary LoadSystemLibrary(const wchar_t* pszName);

// An entry point of a loaded DLL as the function type it has; false when it is missing.
template <typename Fn>
bool ResolveEntry(HMODULE hModule, const char* pszName, Fn& fn)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(hModule, pszName)));
    return fn != nullptr;
}
