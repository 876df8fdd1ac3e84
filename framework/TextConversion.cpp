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

std::string Utf8FromWide(const std::wstring& wide)
{
    if (wide.empty() || wide.size() > INT_MAX / 4) return std::string();
    const int nWide = static_cast<int>(wide.size());
    const int nBytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), nWide, nullptr, 0, nullptr, nullptr);
    if (nBytes <= 0) return std::string();
    std::string text(static_cast<size_t>(nBytes), '\0');
    if (::WideCharToMultiByte(CP_UTF8, 0, wide.data(), nWide, &text[0], nBytes, nullptr, nullptr) != nBytes)
        return std::string();
    return text;
}

std::wstring WideFromUtf8(const std::string& text)
{
    if (text.empty() || text.size() > INT_MAX) return std::wstring();
    const int nBytes = static_cast<int>(text.size());
    const int nChars = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), nBytes, nullptr, 0);
    if (nChars <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(nChars), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), nBytes, &wide[0], nChars) != nChars)
        return std::wstring();
    return wide;
}
