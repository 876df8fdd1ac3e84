#include "framework/Trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

void Trace(const char* pszFormat, ...)
{
    // A line is a diagnosis, not data: one that does not fit is cut, never grown or overrun.
    // The system's formatter (msvcrt's), not the toolchain's, which would add 18 KB to a DLL that
    // every page's process loads; it leaves a cut line unterminated, which the line ends here.
    static const char kPrefix[] = "qxChecker: ";
    char szLine[1024];
    std::memcpy(szLine, kPrefix, sizeof kPrefix);
    const size_t nPrefix = sizeof kPrefix - 1;
    va_list args;
    va_start(args, pszFormat);
    _vsnprintf(szLine + nPrefix, sizeof szLine - nPrefix - 1, pszFormat, args);
    va_end(args);
    szLine[sizeof szLine - 2] = '\0';
    const size_t nLength = std::strlen(szLine);
    szLine[nLength] = '\n';
    szLine[nLength + 1] = '\0';
    ::OutputDebugStringA(szLine);
}
