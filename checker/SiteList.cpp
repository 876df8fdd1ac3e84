#include "checker/SiteList.h"

#include <cstring>

#include "framework/Handles.h"
#include "framework/ResourceText.h"
#include "framework/Trace.h"
#include "resources/resource.h"

const char kAllowedSitesKey[] = "SOFTWARE\\Tessaron\\qxChecker";
const char kAllowedSitesValue[] = "AllowedSites";

namespace {

// The administrators' list is a few lines; a value larger than this is not read at all.
constexpr DWORD kMaxAdminListBytes = 64 * 1024;

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

void AddEntry(CUrlPolicy& urls, const std::string& entry, const char* pszSource)
{
    CUrlPolicy::Site site;
    if (CUrlPolicy::ParseSite(entry.c_str(), site))
        urls.AddSite(site);
    else
        Trace("site lock: %s entry \"%.100s\" is not a site; it allows nothing", pszSource, entry.c_str());
}

// Appends the entries of one registry view; true when the value exists there (even with nothing
// valid in it, or unreadable: the administrators meant a lock).
bool AddAdministratorSites(CUrlPolicy& urls, REGSAM samView)
{
    UniqueRegKey key;
    LONG rc = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAllowedSitesKey, 0, KEY_QUERY_VALUE | samView, key.Put());
    if (rc == ERROR_FILE_NOT_FOUND) return false;
    DWORD dwType = 0, cbData = 0;
    if (rc == ERROR_SUCCESS) rc = ::RegQueryValueExA(key.Get(), kAllowedSitesValue, nullptr, &dwType, nullptr, &cbData);
    if (rc == ERROR_FILE_NOT_FOUND) return false;
    if (rc != ERROR_SUCCESS || cbData > kMaxAdminListBytes || (dwType != REG_SZ && dwType != REG_MULTI_SZ)) {
        Trace("site lock: the registry list cannot be read (error %ld, type %lu, %lu bytes); it allows nothing", rc,
              static_cast<unsigned long>(dwType), static_cast<unsigned long>(cbData));
        return true;
    }
    // Two zeros more than stored: whatever was stored, the walk below ends inside the buffer.
    std::vector<char> data(cbData + 2, '\0');
    rc = ::RegQueryValueExA(key.Get(), kAllowedSitesValue, nullptr, &dwType, reinterpret_cast<BYTE*>(data.data()), &cbData);
    if (rc != ERROR_SUCCESS || cbData > data.size() - 2) {
        Trace("site lock: the registry list cannot be read (error %ld); it allows nothing", rc);
        return true;
    }
    const char chSeparator = dwType == REG_SZ ? ';' : '\0';
    std::string entry;
    for (size_t i = 0; i <= cbData; ++i) {
        if (data[i] == chSeparator || data[i] == '\0') {
            if (!Trimmed(entry).empty()) AddEntry(urls, Trimmed(entry), "registry");
            entry.clear();
            if (data[i] == '\0' && chSeparator != '\0') break;
        } else {
            entry += data[i];
        }
    }
    return true;
}

}  // namespace

BuiltInSiteLock ParseBuiltInSiteLock(const char* pText, size_t cbText)
{
    BuiltInSiteLock lock;
    if (!pText) return lock;
    for (const std::string& line : SettingLines(std::string(pText, ::strnlen(pText, cbText)))) {
        if (line.compare(0, 5, "site=") == 0)
            lock.sites.push_back(Trimmed(line.substr(5)));
        else if (line == "allow-any-site=yes")
            lock.bAllowAnySite = true;
        else if (line != "allow-any-site=no")
            Trace("site lock: built-in line \"%.100s\" is not understood; it allows nothing", line.c_str());
    }
    return lock;
}

BuiltInSiteLock ReadBuiltInSiteLock(HINSTANCE hModule)
{
    std::string text;
    if (!ReadResourceText(hModule, IDR_SITE_LOCK, QX_SITE_LOCK_MAX_BYTES, text)) {
        Trace("site lock: the module carries no readable site lock; no page may use the control");
        return BuiltInSiteLock();
    }
    return ParseBuiltInSiteLock(text.data(), text.size());
}

CUrlPolicy AllowedSites(const BuiltInSiteLock& builtIn)
{
    CUrlPolicy urls;
    for (const std::string& entry : builtIn.sites) AddEntry(urls, entry, "built-in");
    // Both views, and both always: on 32-bit Windows they are the same key, read twice.
    bool bAdministratorsList = AddAdministratorSites(urls, KEY_WOW64_64KEY);
    if (AddAdministratorSites(urls, KEY_WOW64_32KEY)) bAdministratorsList = true;
    if (!builtIn.bAllowAnySite || bAdministratorsList) urls.RestrictToSites();
    return urls;
}
