#include "framework/TextConversion.h"

#include <windows.h>

#include <climits>
#include <cwchar>

std::wstring WideFromAnsi(const char* psz)
{
    if (!psz || !*psz) return std::wstring();
    const int nChars = ::MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);
    if (nChars <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(nChars), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, psz, -1, &wide[0], nChars) <= 0) return std::wstring();
    wide.resize(static_cast<size_t>(nChars) - 1);
    return wide;
}

CString AnsiFromWide(const wchar_t* pwsz, size_t nLength)
{
    if (!pwsz) return CString();
    nLength = ::wcsnlen(pwsz, nLength);
    if (nLength == 0 || nLength > INT_MAX / 2) return CString();
    // Two bytes per character hold any double-byte code page.
    std::string text(2 * nLength, '\0');
    const int nBytes = ::WideCharToMultiByte(CP_ACP, 0, pwsz, static_cast<int>(nLength), &text[0],
                                             static_cast<int>(text.size()), nullptr, nullptr);
    if (nBytes <= 0) return CString();
    text.resize(static_cast<size_t>(nBytes));
    return CString(std::move(text));
}
