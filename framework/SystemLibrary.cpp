#include "framework/SystemLibrary.h"

#include "framework/Trace.h"

UniqueLibrary LoadSystemLibrary(const wchar_t* pszName)
{
    UniqueLibrary library(::LoadLibraryExW(pszName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!library) Trace("%ls cannot be loaded from the system folder (error %lu)", pszName, ::GetLastError());
    return library;
}
