#include "download/HttpHeaders.h"

#include <string>

namespace http {
namespace {

wchar_t LowerAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool SameNameAt(const std::wstring& line, const wchar_t* pszName, size_t nLength)
{
    for (size_t i = 0; i < nLength; ++i)
        if (LowerAscii(line[i]) != LowerAscii(pszName[i])) return false;
    return true;
}

// The value of one header in a raw CRLF-separated block; `found` tells whether it is there.
std::wstring HeaderValue(const wchar_t* pszHeaders, const wchar_t* pszName, bool& found)
{
    found = false;
    const std::wstring headers = pszHeaders ? pszHeaders : L"";
    const size_t nameLength = std::wstring(pszName).size();
    size_t lineStart = 0;
    while (lineStart < headers.size()) {
        size_t lineEnd = headers.find(L"\r\n", lineStart);
        if (lineEnd == std::wstring::npos) lineEnd = headers.size();
        const std::wstring line = headers.substr(lineStart, lineEnd - lineStart);
        if (line.size() > nameLength && line[nameLength] == L':' && SameNameAt(line, pszName, nameLength)) {
            found = true;
            const size_t valueStart = line.find_first_not_of(L" \t", nameLength + 1);
            return valueStart == std::wstring::npos ? std::wstring() : line.substr(valueStart);
        }
        lineStart = lineEnd + 2;
    }
    return std::wstring();
}

}  // namespace

long long ExpectedBodyLength(const wchar_t* pszHeaders)
{
    bool bEncoded = false;
    const std::wstring encoding = HeaderValue(pszHeaders, L"Content-Encoding", bEncoded);
    if (bEncoded && !(encoding.size() == 8 && SameNameAt(encoding, L"identity", 8))) return -1;
    bool bHasLength = false;
    const std::wstring length = HeaderValue(pszHeaders, L"Content-Length", bHasLength);
    // Eighteen digits always fit the result; a longer figure is no length we could meet anyway.
    if (!bHasLength || length.empty() || length.size() > 18 || length.find_first_not_of(L"0123456789") != std::wstring::npos)
        return -1;
    long long nLength = 0;
    for (wchar_t c : length) nLength = nLength * 10 + (c - L'0');
    return nLength;
}

}  // namespace http
