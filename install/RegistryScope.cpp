#include "install/RegistryScope.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct ScopeRow {
    const char* pszRoot;
    const char* pszKey;
    bool bSubkeys;  // whether the keys below it are ours too
};

const ScopeRow kScope[] = {
    {"HKEY_CURRENT_USER", "SOFTWARE\\Tessaron", true},
    {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Tessaron", true},
    // The extension key only names the document type: nothing of ours lies below it.
    {"HKEY_CLASSES_ROOT", ".qxl", false},
    {"HKEY_CLASSES_ROOT", "qxl_auto_file", true},
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

// Only ASCII letters fold: the platform's own folding of other bytes depends on the code page,
// and no name of ours needs it.
bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

bool RowCovers(const ScopeRow& row, const std::vector<std::string>& key)
{
    const std::vector<std::string> rowKey = Components(row.pszKey);
    if (key.size() < rowKey.size() || (!row.bSubkeys && key.size() != rowKey.size())) return false;
    for (size_t i = 0; i < rowKey.size(); ++i)
        if (!SameName(key[i], rowKey[i])) return false;
    return true;
}

}  // namespace

bool IsKeyInRegistryScope(const char* pszRoot, const char* pszKey)
{
    if (!pszRoot || !pszKey) return false;
    const std::vector<std::string> key = Components(pszKey);
    for (const std::string& component : key)
        if (!IsPlainName(component)) return false;
    for (const ScopeRow& row : kScope)
        if (std::strcmp(pszRoot, row.pszRoot) == 0 && RowCovers(row, key)) return true;
    return false;
}
