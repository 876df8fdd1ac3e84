// The sites a page must come from to use the control: the lock the DLL carries (a resource the
// build writes from QX_ALLOWED_SITES) and the sites administrators add on a machine. An empty list
// allows no page; only a development build (QX_ALLOW_ANY_SITE) lets every page through, and even
// that build is locked by an administrators' list.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "download/UrlPolicy.h"

// Where administrators add sites: a REG_MULTI_SZ (one entry per string) or REG_SZ (entries
// separated by ';') named kAllowedSitesValue under HKEY_LOCAL_MACHINE\kAllowedSitesKey, read from
// both registry views, so a 32-bit DLL on 64-bit Windows also sees what 64-bit tools wrote.
extern const char kAllowedSitesKey[];
extern const char kAllowedSitesValue[];

struct BuiltInSiteLock {
    std::vector<std::string> sites;  // entries as the build listed them
    bool bAllowAnySite = false;
};

// The resource's text: lines "allow-any-site=yes|no" and "site=<entry>"; ';' starts a comment.
// Any other line adds nothing.
BuiltInSiteLock ParseBuiltInSiteLock(const char* pText, size_t cbText);
// The lock in `hModule`'s IDR_SITE_LOCK resource; no resource, no site.
BuiltInSiteLock ReadBuiltInSiteLock(HINSTANCE hModule);

// The built-in sites and the machine's additions. Restricted to them unless the build allows
// any site and no administrators' list exists (an empty or unreadable one locks everything).
CUrlPolicy AllowedSites(const BuiltInSiteLock& builtIn);
