#include "framework/Trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

void Trace(const char* pszFormat, ...)
{
    // A line is a diagnosis, not data: one that does not fit is cut, never grown or overrun.
    char szLine[1024];
    const int nPrefix = std::snprintf(szLine, sizeof szLine, "qxChecker: ");
    va_list args;
    va_start(args, pszFormat);
    std::vsnprintf(szLine + nPrefix, sizeof szLine - nPrefix - 1, pszFormat, args);
    va_end(args);
    szLine[sizeof szLine - 2] = '\0';
    const size_t nLength = std::strlen(szLine);
    szLine[nLength] = '\n';
    szLine[nLength + 1] = '\0';
    ::OutputDebugStringA(szLine);
}
