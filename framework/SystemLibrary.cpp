#include "framework/SystemLibrary.h"

#include <string>

#include "framework/Trace.h"

UniqueLibrary LoadSystemLibrary(const wchar_t* pszName, LoadLibraryExFn loader)
{
    UniqueLibrary library(loader(pszName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!library && ::GetLastError() == ERROR_INVALID_PARAMETER) {
        wchar_t szSystem[MAX_PATH];
        const UINT cch = ::GetSystemDirectoryW(szSystem, MAX_PATH);
        if (cch == 0 || cch >= MAX_PATH) {
            Trace("the system folder cannot be read for %ls (error %lu)", pszName, ::GetLastError());
            return library;
        }
        // Its own dependencies are then looked for beside it, in the system folder, first.
        const std::wstring path = std::wstring(szSystem, cch) + L"\\" + pszName;
        library.Reset(loader(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    }
    if (!library) Trace("%ls cannot be loaded from the system folder (error %lu)", pszName, ::GetLastError());
    return library;
}
