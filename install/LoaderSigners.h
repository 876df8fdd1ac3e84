// The publisher's certificates allowed to sign the loader, as the build pinned them (a resource
// the build writes from QX_LOADER_SIGNERS): SHA-256 thumbprints, several so that a certificate can
// be renewed without a gap. A DLL that pins none takes any loader that passes the other checks.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "download/Sha256.h"

struct LoaderSigners {
    bool bPinned = false;  // the build pinned signers: only they may sign the loader
    std::vector<Sha256Digest> thumbprints;
};

// The resource's text: lines "signer-sha256=<64 hexadecimal digits>"; ';' starts a comment. A
// line that names a signer but is no thumbprint still pins (it allows nothing), so that a
// mistaken pin never leaves the loader unchecked.
LoaderSigners ParseLoaderSigners(const std::string& text);
// The pin in `hModule`'s IDR_LOADER_SIGNERS resource; no resource, no pin.
LoaderSigners ReadBuiltInLoaderSigners(HINSTANCE hModule);
