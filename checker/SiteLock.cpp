#include "checker/SiteLock.h"

#include <mshtml.h>
#include <mshtmdid.h>
#include <objsafe.h>
#include <wininet.h>
#include <wrl/client.h>

#include "framework/Trace.h"

using Microsoft::WRL::ComPtr;

namespace {

// No address is longer than the platform's longest; a longer name is not one.
std::wstring AddressOrEmpty(LPCWSTR pszName)
{
    if (!pszName || ::wcsnlen(pszName, INTERNET_MAX_URL_LENGTH + 1) > INTERNET_MAX_URL_LENGTH) return std::wstring();
    return pszName;
}

bool NameByMoniker(IOleClientSite* pClientSite, PageName& page)
{
    ComPtr<IMoniker> moniker;
    if (FAILED(pClientSite->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, &moniker)) || !moniker)
        return false;
    page.bNamed = true;
    ComPtr<IBindCtx> bindCtx;
    LPOLESTR pszName = nullptr;
    if (SUCCEEDED(::CreateBindCtx(0, &bindCtx)) && SUCCEEDED(moniker->GetDisplayName(bindCtx.Get(), nullptr, &pszName))) {
        page.url = AddressOrEmpty(pszName);
        ::CoTaskMemFree(pszName);
    }
    return true;
}

bool NameByDocument(IOleClientSite* pClientSite, PageName& page)
{
    ComPtr<IOleContainer> container;
    if (FAILED(pClientSite->GetContainer(&container)) || !container) return false;
    // The document's URL property through its dispatch side, which every HTML document has.
    ComPtr<IDispatch> document;
    if (FAILED(container->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(document.GetAddressOf()))) ||
        !document)
        return false;
    page.bNamed = true;
    DISPPARAMS noArguments = {};
    VARIANT result;
    ::VariantInit(&result);
    if (SUCCEEDED(document->Invoke(DISPID_IHTMLDOCUMENT2_URL, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                   &noArguments, &result, nullptr, nullptr)) &&
        result.vt == VT_BSTR)
        page.url = AddressOrEmpty(result.bstrVal);
    ::VariantClear(&result);
    return true;
}

}  // namespace

PageName NamePage(IOleClientSite* pClientSite)
{
    PageName page;
    if (pClientSite && !NameByMoniker(pClientSite, page)) NameByDocument(pClientSite, page);
    return page;
}

bool PermitPage(const PageName& page, const BuiltInSiteLock& builtIn, CUrlPolicy& urls)
{
    urls = CUrlPolicy();
    const CUrlPolicy sites = AllowedSites(builtIn);
    if (!sites.HasSiteList()) {
        Trace("site lock: a development build lets every page use the control");
        return true;
    }
    if (!page.bNamed) {
        Trace("site lock: no page is named; nothing is done");
        return false;
    }
    CString why;
    if (page.url.empty()) {
        Trace("site lock: the page's address cannot be read; nothing is done");
        return false;
    }
    if (FAILED(sites.Check(page.url.c_str(), nullptr, why))) {
        Trace("site lock: the page is refused (%s); nothing is done", why.GetString());
        return false;
    }
    urls = sites;
    return true;
}

bool PermitRequest(DWORD dwSafetyOptions, IOleClientSite* pClientSite, const BuiltInSiteLock& builtIn, CUrlPolicy& urls)
{
    urls = CUrlPolicy();
    const PageName page = NamePage(pClientSite);
    if (!page.bNamed) {
        if (!(dwSafetyOptions & INTERFACESAFE_FOR_UNTRUSTED_CALLER)) return true;
        Trace("site lock: an untrusted caller's container names no page; nothing is done");
        return false;
    }
    return PermitPage(page, builtIn, urls);
}
