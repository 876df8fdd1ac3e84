#include "framework/CString.h"

#include <cstdio>
#include <vector>

namespace {

// The system's formatter (msvcrt's), as Trace uses, not the toolchain's, which would add 18 KB to
// a DLL that every page's process loads; the standard one where the pure code is tested natively.
#ifdef _WIN32
int MeasureFormat(const char* pszFormat, va_list args)
{
    return _vscprintf(pszFormat, args);
}
void FormatInto(char* pszBuffer, size_t cbBuffer, const char* pszFormat, va_list args)
{
    _vsnprintf(pszBuffer, cbBuffer, pszFormat, args);
}
#else
int MeasureFormat(const char* pszFormat, va_list args)
{
    return std::vsnprintf(nullptr, 0, pszFormat, args);
}
void FormatInto(char* pszBuffer, size_t cbBuffer, const char* pszFormat, va_list args)
{
    std::vsnprintf(pszBuffer, cbBuffer, pszFormat, args);
}
#endif

}  // namespace

void CString::Format(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::FormatV(const char* pszFormat, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    const int nLength = MeasureFormat(pszFormat, measure);
    va_end(measure);
    if (nLength < 0) {
        m_str.clear();
        return;
    }
    std::vector<char> buffer(static_cast<size_t>(nLength) + 1);
    FormatInto(buffer.data(), buffer.size(), pszFormat, args);
    m_str.assign(buffer.data(), static_cast<size_t>(nLength));
}
