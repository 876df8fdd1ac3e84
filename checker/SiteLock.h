// The site lock: a page that the container does not trust (a browser says so by enabling
// INTERFACESAFE_FOR_UNTRUSTED_CALLER) gets the control's work only when the page comes from an
// allowed site, and then only from allowed sites. The sites are the list built in (the
// QX_ALLOWED_SITES build setting) and the administrators' additions in the registry; with none at
// all there is no lock.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <string>

#include "download/UrlPolicy.h"

// Where administrators add sites: a REG_MULTI_SZ (one entry per string) or REG_SZ (entries
// separated by ';') named kAllowedSitesValue under HKEY_LOCAL_MACHINE\kAllowedSitesKey.
extern const char kAllowedSitesKey[];
extern const char kAllowedSitesValue[];

// The built-in list and the machine's additions; a list that is set but has no valid entry
// allows nothing.
CUrlPolicy AllowedSites();

// The page's address as its container tells it through the client site (the container's
// moniker); empty when the container tells none.
std::wstring PageUrl(IOleClientSite* pClientSite);

// Whether a call may act, and from where it may then fetch. An untrusted caller's page must be
// on the list (a container that names no page is refused); a trusted caller (a script host) may
// fetch any web address.
bool PermitRequest(DWORD dwSafetyOptions, IOleClientSite* pClientSite, CUrlPolicy& urls);
