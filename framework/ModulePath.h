// The full path a module was loaded from, however long it is.
#pragma once

#include <windows.h>

#include <string>

// Empty when the platform cannot tell.
std::wstring ModulePathW(HMODULE hModule);
