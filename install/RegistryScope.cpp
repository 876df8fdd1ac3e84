#include "install/RegistryScope.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct ScopeRow {
    const char* pszRoot;
    const char* pszKey;
    RegistryKeyRole role;  // of the key and, but for the extension, of every key below it
};

// The first row that covers a key decides its role.
const ScopeRow kScope[] = {
    // The site lock's own list: administrators write it, a description never.
    {"HKEY_CURRENT_USER", "SOFTWARE\\Tessaron\\qxChecker", REGKEY_OUT_OF_SCOPE},
    {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Tessaron\\qxChecker", REGKEY_OUT_OF_SCOPE},
    {"HKEY_CURRENT_USER", "SOFTWARE\\Tessaron", REGKEY_RECORD},
    {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Tessaron", REGKEY_RECORD},
    // The document type under each of its names. The extension key only names the type: nothing
    // of ours lies below it.
    {"HKEY_CLASSES_ROOT", ".qxl", REGKEY_EXTENSION},
    {"HKEY_CLASSES_ROOT", "qxl_auto_file", REGKEY_DOCUMENT_TYPE},
    {"HKEY_CURRENT_USER", "Software\\Classes\\.qxl", REGKEY_EXTENSION},
    {"HKEY_CURRENT_USER", "Software\\Classes\\qxl_auto_file", REGKEY_DOCUMENT_TYPE},
    {"HKEY_LOCAL_MACHINE", "Software\\Classes\\.qxl", REGKEY_EXTENSION},
    {"HKEY_LOCAL_MACHINE", "Software\\Classes\\qxl_auto_file", REGKEY_DOCUMENT_TYPE},
};

// Every backslash splits, also one that follows a double-byte lead byte: the registry gets the
// path as wide text, and a lead byte without a valid trail does not take the backslash with it in
// that conversion. Splitting more than the registry might only ever refuses more.
std::vector<std::string> Components(const char* pszKey)
{
    std::vector<std::string> components;
    const char* pszStart = pszKey;
    for (const char* p = pszKey;; ++p) {
        if (*p == '\\' || *p == '\0') {
            components.emplace_back(pszStart, static_cast<size_t>(p - pszStart));
            if (*p == '\0') break;
            pszStart = p + 1;
        }
    }
    return components;
}

// Whether a registry takes "." and ".." as plain names or as steps is not ours to rely on, and no
// key of ours is called that.
bool IsPlainName(const std::string& component)
{
    return !component.empty() && component != "." && component != "..";
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(const std::string& a, const std::string& b)
{
    return IsSameRegistryName(a.c_str(), b.c_str());
}

// Below the document type, only the verbs and their commands are ours. The shell follows other
// keys there: "CurVer" hands the type over to another one (a world file opened as htafile runs as
// a program), "shellex" and a verb's "DropTarget" name COM handlers, and "DefaultIcon" can name a
// share that Explorer reads with the user's credentials.
bool IsVerbOrCommand(const std::vector<std::string>& key, size_t nTypeComponents)
{
    const size_t nBelow = key.size() - nTypeComponents;
    if (nBelow == 0 || nBelow > 3 || !SameName(key[nTypeComponents], "shell")) return false;
    return nBelow < 3 || SameName(key.back(), "command");
}

// How many of the key's components lie below the row's key; -1 when the row does not cover it.
int DepthBelowRow(const ScopeRow& row, const std::vector<std::string>& key)
{
    const std::vector<std::string> rowKey = Components(row.pszKey);
    if (key.size() < rowKey.size()) return -1;
    for (size_t i = 0; i < rowKey.size(); ++i)
        if (!SameName(key[i], rowKey[i])) return -1;
    return static_cast<int>(key.size() - rowKey.size());
}

}  // namespace

bool IsRegistrySection(const char* pszRoot)
{
    return pszRoot && std::strncmp(pszRoot, "HKEY", 4) == 0;
}

bool IsSameRegistryName(const char* pszA, const char* pszB)
{
    if (!pszA || !pszB) return false;
    for (; *pszA && *pszB; ++pszA, ++pszB)
        if (LowerAscii(*pszA) != LowerAscii(*pszB)) return false;
    return *pszA == *pszB;
}

bool EndsWithRegistryName(const char* pszText, const char* pszSuffix)
{
    if (!pszText || !pszSuffix) return false;
    const size_t nText = std::strlen(pszText), nSuffix = std::strlen(pszSuffix);
    return nText >= nSuffix && IsSameRegistryName(pszText + nText - nSuffix, pszSuffix);
}

RegistryKeyRole RegistryKeyRoleOf(const char* pszRoot, const char* pszKey)
{
    if (!pszRoot || !pszKey) return REGKEY_OUT_OF_SCOPE;
    const std::vector<std::string> key = Components(pszKey);
    for (const std::string& component : key)
        if (!IsPlainName(component)) return REGKEY_OUT_OF_SCOPE;
    for (const ScopeRow& row : kScope) {
        if (std::strcmp(pszRoot, row.pszRoot) != 0) continue;
        const int nDepth = DepthBelowRow(row, key);
        if (nDepth < 0) continue;
        if (row.role == REGKEY_EXTENSION) return nDepth == 0 ? REGKEY_EXTENSION : REGKEY_OUT_OF_SCOPE;
        if (row.role == REGKEY_DOCUMENT_TYPE && nDepth > 0)
            return IsVerbOrCommand(key, key.size() - nDepth) ? REGKEY_BELOW_DOCUMENT_TYPE : REGKEY_OUT_OF_SCOPE;
        return row.role;
    }
    return REGKEY_OUT_OF_SCOPE;
}
