#include "checker/SiteLock.h"

#include <objsafe.h>
#include <wininet.h>
#include <wrl/client.h>

#include <vector>

#include "framework/Trace.h"
#include "qxAllowedSites.h"

using Microsoft::WRL::ComPtr;

const char kAllowedSitesKey[] = "SOFTWARE\\Tessaron\\qxChecker";
const char kAllowedSitesValue[] = "AllowedSites";

namespace {

// The administrators' list is a few lines; a value larger than this is not read at all.
constexpr DWORD kMaxAdminListBytes = 64 * 1024;

void AddEntry(CUrlPolicy& urls, const char* pszEntry, const char* pszSource)
{
    CUrlPolicy::Site site;
    if (CUrlPolicy::ParseSite(pszEntry, site))
        urls.AddSite(site);
    else
        Trace("site lock: %s entry \"%.100s\" is not a site; it allows nothing", pszSource, pszEntry);
}

// Appends the registry's entries; true when the value exists (even with nothing valid in it).
bool AddAdministratorSites(CUrlPolicy& urls)
{
    DWORD dwType = 0, cbData = 0;
    LONG rc = ::RegGetValueA(HKEY_LOCAL_MACHINE, kAllowedSitesKey, kAllowedSitesValue,
                             RRF_RT_REG_SZ | RRF_RT_REG_MULTI_SZ, &dwType, nullptr, &cbData);
    if (rc == ERROR_FILE_NOT_FOUND) return false;
    if (rc != ERROR_SUCCESS || cbData > kMaxAdminListBytes) {
        // The administrators meant a lock: a list we cannot read locks everything out.
        Trace("site lock: the registry list cannot be read (error %ld, %lu bytes)", rc, static_cast<unsigned long>(cbData));
        return true;
    }
    std::vector<char> data(cbData + 2, '\0');
    rc = ::RegGetValueA(HKEY_LOCAL_MACHINE, kAllowedSitesKey, kAllowedSitesValue, RRF_RT_REG_SZ | RRF_RT_REG_MULTI_SZ,
                        &dwType, data.data(), &cbData);
    if (rc != ERROR_SUCCESS) {
        Trace("site lock: the registry list cannot be read (error %ld)", rc);
        return true;
    }
    data.resize(cbData + 2, '\0');  // whatever was stored, the walk below ends inside the buffer
    const char chSeparator = dwType == REG_SZ ? ';' : '\0';
    std::string entry;
    for (size_t i = 0; i < cbData; ++i) {
        if (data[i] == chSeparator || data[i] == '\0') {
            if (entry.find_first_not_of(" \t") != std::string::npos) AddEntry(urls, entry.c_str(), "registry");
            entry.clear();
            if (data[i] == '\0' && chSeparator != '\0') break;
        } else {
            entry += data[i];
        }
    }
    if (entry.find_first_not_of(" \t") != std::string::npos) AddEntry(urls, entry.c_str(), "registry");
    return true;
}

}  // namespace

CUrlPolicy AllowedSites()
{
    CUrlPolicy urls;
    static const char* const kBuiltIn[] = {QX_ALLOWED_SITES_LIST nullptr};
    bool bListed = false;
    for (const char* const* ppsz = kBuiltIn; *ppsz; ++ppsz) {
        AddEntry(urls, *ppsz, "built-in");
        bListed = true;
    }
    if (AddAdministratorSites(urls)) bListed = true;
    if (bListed) urls.RestrictToSites();
    return urls;
}

std::wstring PageUrl(IOleClientSite* pClientSite)
{
    if (!pClientSite) return std::wstring();
    ComPtr<IMoniker> moniker;
    if (FAILED(pClientSite->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, &moniker)) || !moniker)
        return std::wstring();
    ComPtr<IBindCtx> bindCtx;
    if (FAILED(::CreateBindCtx(0, &bindCtx))) return std::wstring();
    LPOLESTR pszName = nullptr;
    if (FAILED(moniker->GetDisplayName(bindCtx.Get(), nullptr, &pszName)) || !pszName) return std::wstring();
    std::wstring url;
    // No address is longer than the platform's longest; a longer name is not one.
    if (::wcsnlen(pszName, INTERNET_MAX_URL_LENGTH + 1) <= INTERNET_MAX_URL_LENGTH) url = pszName;
    ::CoTaskMemFree(pszName);
    return url;
}

bool PermitRequest(DWORD dwSafetyOptions, IOleClientSite* pClientSite, CUrlPolicy& urls)
{
    urls = CUrlPolicy();
    if (!(dwSafetyOptions & INTERFACESAFE_FOR_UNTRUSTED_CALLER)) return true;

    CUrlPolicy sites = AllowedSites();
    if (!sites.HasSiteList()) return true;
    const std::wstring page = PageUrl(pClientSite);
    CString why;
    if (page.empty()) {
        Trace("site lock: the container names no page; nothing is done");
        return false;
    }
    if (FAILED(sites.Check(page.c_str(), nullptr, why))) {
        Trace("site lock: the page is refused (%s); nothing is done", why.GetString());
        return false;
    }
    urls = sites;
    return true;
}
