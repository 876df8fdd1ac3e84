#include "download/UrlPolicy.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwctype>

using Microsoft::WRL::ComPtr;

namespace {

// Host names as entries give them: letters, digits, dots and hyphens; an address literal
// (127.0.0.1) is one too.
bool IsHostText(const std::string& text)
{
    if (text.empty() || text.front() == '.' || text.back() == '.' || text.find("..") != std::string::npos)
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    });
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    return out;
}

}  // namespace

bool CUrlPolicy::ParseSite(const char* pszEntry, Site& site)
{
    if (!pszEntry) return false;
    std::string text(pszEntry);
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    if (first == std::string::npos) return false;
    text = text.substr(first, last - first + 1);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });

    site = Site();
    if (text.compare(0, 7, "http://") == 0) {
        site.bPlainHttp = true;
        text.erase(0, 7);
    } else if (text.compare(0, 8, "https://") == 0) {
        text.erase(0, 8);
    }
    if (text.compare(0, 2, "*.") == 0) {
        site.bSubdomains = true;
        text.erase(0, 2);
    }
    if (!IsHostText(text)) return false;
    // "*.com" would be a whole top-level domain: a wildcard needs a domain of two labels.
    if (site.bSubdomains && text.find('.') == std::string::npos) return false;
    site.host.assign(text.begin(), text.end());
    return true;
}

bool CUrlPolicy::SiteAllows(const std::wstring& host, bool bHttps) const
{
    for (const Site& site : m_sites) {
        if (!bHttps && !site.bPlainHttp) continue;
        if (host == site.host) return true;
        if (site.bSubdomains && host.size() > site.host.size() + 1 &&
            host.compare(host.size() - site.host.size(), site.host.size(), site.host) == 0 &&
            host[host.size() - site.host.size() - 1] == L'.')
            return true;
    }
    return false;
}

HRESULT CUrlPolicy::Check(LPCWSTR pszUrl, ComPtr<IUri>* pUri, CString& why) const
{
    if (!pszUrl || !*pszUrl) {
        why = "empty address";
        return E_ACCESSDENIED;
    }
    // The platform's own parser, so that what is judged here is what the download fetches.
    ComPtr<IUri> uri;
    HRESULT hr = ::CreateUri(pszUrl, Uri_CREATE_NO_DECODE_EXTRA_INFO, 0, &uri);
    if (FAILED(hr)) {
        why.Format("not an address (0x%08lX)", static_cast<unsigned long>(hr));
        return E_ACCESSDENIED;
    }
    DWORD dwScheme = URL_SCHEME_INVALID;
    uri->GetScheme(&dwScheme);
    if (dwScheme != URL_SCHEME_HTTP && dwScheme != URL_SCHEME_HTTPS) {
        why.Format("scheme %lu is not http or https", static_cast<unsigned long>(dwScheme));
        return E_ACCESSDENIED;
    }
    BSTR bstrHost = nullptr;
    hr = uri->GetHost(&bstrHost);
    const std::wstring host = Lower(SUCCEEDED(hr) && bstrHost ? std::wstring(bstrHost, ::SysStringLen(bstrHost)) : L"");
    ::SysFreeString(bstrHost);
    if (host.empty()) {
        why = "no host";
        return E_ACCESSDENIED;
    }
    if (HasSiteList() && !SiteAllows(host, dwScheme == URL_SCHEME_HTTPS)) {
        why.Format("%s://%s is not an allowed site", dwScheme == URL_SCHEME_HTTPS ? "https" : "http",
                   Narrow(host).c_str());
        return E_ACCESSDENIED;
    }
    if (pUri) *pUri = uri;
    return S_OK;
}

bool CUrlPolicy::Allows(LPCWSTR pszUrl) const
{
    CString why;
    return SUCCEEDED(Check(pszUrl, nullptr, why));
}
