// Which addresses a download may fetch. Asked before the request and again at every redirect:
// web addresses only (http or https with a host: no file:, no UNC path, no script scheme), and,
// when a site list is set, only addresses of the sites on it.
#pragma once

#include <windows.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "framework/CString.h"

class CUrlPolicy {
public:
    // One allowed site: a host name, or "*." and a domain for the domain and every host below it.
    struct Site {
        std::wstring host;      // lower case, without the "*."
        bool bSubdomains = false;
        bool bPlainHttp = false;  // the entry said "http://": http is allowed besides https
    };

    // Any web address; no site list.
    CUrlPolicy() = default;

    // Reads an entry as a publisher or an administrator writes it: "host", "*.domain",
    // "http://host", "https://*.domain". False for anything else (a port, a path, a stray
    // character, an empty host, a wildcard over a single label such as "*.com"), which then
    // allows nothing.
    static bool ParseSite(const char* pszEntry, Site& site);
    void AddSite(const Site& site) { m_sites.push_back(site); }
    // From now on only listed sites pass, even when no valid entry was added.
    void RestrictToSites() { m_bRestricted = true; }
    // Without a list, every web address passes.
    bool HasSiteList() const { return m_bRestricted; }

    // S_OK with the parsed address for an allowed one; otherwise E_ACCESSDENIED and, in `why`,
    // the reason for the trace.
    HRESULT Check(LPCWSTR pszUrl, Microsoft::WRL::ComPtr<IUri>* pUri, CString& why) const;
    bool Allows(LPCWSTR pszUrl) const;

private:
    bool SiteAllows(const std::wstring& host, bool bHttps) const;

    std::vector<Site> m_sites;
    bool m_bRestricted = false;
};
