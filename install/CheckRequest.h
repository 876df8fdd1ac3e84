// The Check request as the control receives it: the description's address as the page passed it.
#pragma once

#include <wtypes.h>

#include "download/UrlPolicy.h"
#include "install/InstallDlg.h"

// Runs the whole installation in a hidden installer window; 1 when the loader is current,
// installed or upgraded, else 0 — never anything else. The description and the loader are
// fetched only from where `urls` allows; the loader is pinned as `hPinModule` (null: this module)
// says.
LONG RunCheckRequest(BSTR bstrLoaderInfo, const InstallSystem& system = InstallSystem::Platform(),
                     const CUrlPolicy& urls = CUrlPolicy(), HINSTANCE hPinModule = nullptr);
