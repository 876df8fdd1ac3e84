#include "framework/BstrText.h"

#include <windows.h>

#include <cwchar>
#include <vector>

CString AnsiFromBstr(BSTR bstr)
{
    if (!bstr) return CString();
    const size_t nLength = std::wcslen(bstr);
    // Two bytes per character hold any double-byte code page, and the terminator fits after them.
    std::vector<char> buffer(2 * nLength + 2);
    buffer[0] = '\0';
    const int nBytes = ::WideCharToMultiByte(CP_ACP, 0, bstr, -1, buffer.data(), static_cast<int>(buffer.size()),
                                             nullptr, nullptr);
    if (nBytes <= 0) return CString();
    return CString(buffer.data());
}
