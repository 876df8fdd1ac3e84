#include "folder/FolderPathForm.h"

#include <cstring>
#include <string>

namespace {

bool IsAsciiLetter(char ch)
{
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}

bool IsBlankOrDot(char ch)
{
    return ch == '\t' || ch == ' ' || ch == '.';
}

}  // namespace

bool IsValidFolderName(const char* pszName)
{
    if (!pszName || !*pszName) return false;
    const size_t nLength = std::strlen(pszName);
    if (IsBlankOrDot(pszName[0]) || IsBlankOrDot(pszName[nLength - 1])) return false;
    // Byte by byte: none of these is ever the second byte of a double-byte character in CP949.
    return std::strpbrk(pszName, "\"*/:<>?\\|") == nullptr;
}

int CheckPathForm(const char* pszPath)
{
    if (!pszPath) return FOLDER_INVALID;
    const std::string path(pszPath);
    if (path.size() < 3 || path.size() > kMaxFolderPathBytes) return FOLDER_INVALID;
    if (!IsAsciiLetter(path[0]) || path[1] != ':' || path[2] != '\\') return FOLDER_INVALID;
    size_t nStart = 3;
    while (nStart < path.size()) {
        size_t nEnd = path.find('\\', nStart);
        if (nEnd == std::string::npos) nEnd = path.size();
        if (!IsValidFolderName(path.substr(nStart, nEnd - nStart).c_str())) return FOLDER_INVALID;
        if (nEnd + 1 == path.size()) return FOLDER_INVALID;  // a trailing backslash
        nStart = nEnd + 1;
    }
    return FOLDER_OK;
}
