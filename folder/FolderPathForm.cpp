#include "folder/FolderPathForm.h"

#include <algorithm>
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

bool IsBlank(char ch)
{
    return ch == '\t' || ch == ' ';
}

// CON, PRN, AUX, NUL, COM0-9 and LPT0-9 name devices in every folder, also with an extension.
bool IsDeviceName(const std::string& name)
{
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && IsBlank(base.back())) base.pop_back();
    for (char& ch : base)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '0' &&
           base[3] <= '9';
}

bool IsNameWindowsTakes(const std::string& name)
{
    if (name.empty() || name.back() == '.' || IsBlank(name.back())) return false;
    for (char ch : name)
        if (static_cast<unsigned char>(ch) < 0x20 || std::strchr("\"*/:<>?\\|", ch)) return false;
    return !IsDeviceName(name);
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

bool IsLocalFolderPath(const char* pszPath)
{
    if (!pszPath) return false;
    std::string path(pszPath);
    if (path.size() < 3 || path.size() > kMaxFolderPathBytes) return false;
    if (!IsAsciiLetter(path[0]) || path[1] != ':' || path[2] != '\\') return false;
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
    if (path.size() == 3) return true;  // a drive's root
    for (size_t nStart = 3;;) {
        const size_t nEnd = std::min(path.find('\\', nStart), path.size());
        if (!IsNameWindowsTakes(path.substr(nStart, nEnd - nStart))) return false;
        if (nEnd == path.size()) return true;
        nStart = nEnd + 1;
    }
}
