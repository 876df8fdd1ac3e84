// What one download must keep to, besides arriving whole: where it may fetch from (checked
// before the request and at every redirect), how large the file may be, and which bytes it must
// be when a digest is expected.
#pragma once

#include <windows.h>

#include "download/Sha256.h"
#include "download/UrlPolicy.h"

struct DownloadRules {
    CUrlPolicy urls;
    ULONGLONG cbMaxBytes = 0;  // 0: no cap
    bool bCheckSha256 = false;
    Sha256Digest expectedSha256{};
};
