// The site lock: whenever the control sits in a page, the page must come from an allowed site
// (SiteList.h), and the control then fetches only from allowed sites. It does not matter whether
// the browser turned on the safety options: in zones where it may script controls without them,
// it never asks. Only a container that names no page, a script host, is trusted, with any web
// address; unless it asked for untrusted-caller safety, which only a page has reason to.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <string>

#include "checker/SiteList.h"
#include "download/UrlPolicy.h"

// What the client site says of the page that holds the control.
struct PageName {
    bool bNamed = false;  // the container names a page, through its moniker or its document
    std::wstring url;     // the page's address; empty when it was named but cannot be read
};

// The container's moniker first (a browser's site gives the page's address there), else the
// URL of the container's HTML document.
PageName NamePage(IOleClientSite* pClientSite);

// Whether a page may act, and from where it may then fetch: a page on the list, any page in a
// development build. A page that is not named is refused here: only a caller that sees the
// container itself (PermitRequest) may trust a script host.
bool PermitPage(const PageName& page, const BuiltInSiteLock& builtIn, CUrlPolicy& urls);
// Whether a call may act and, in `urls`, from where it may then fetch, by the lock built into
// `builtIn` and the administrators' list.
bool PermitRequest(DWORD dwSafetyOptions, IOleClientSite* pClientSite, const BuiltInSiteLock& builtIn, CUrlPolicy& urls);
