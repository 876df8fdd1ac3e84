#include "framework/CString.h"

#include <cstdio>
#include <vector>

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
    const int nLength = std::vsnprintf(nullptr, 0, pszFormat, measure);
    va_end(measure);
    if (nLength < 0) {
        m_str.clear();
        return;
    }
    std::vector<char> buffer(static_cast<size_t>(nLength) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), pszFormat, args);
    m_str.assign(buffer.data(), static_cast<size_t>(nLength));
}
