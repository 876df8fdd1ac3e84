// What one download must keep to, besides arriving whole: where it may fetch from (checked
// before the request and at every redirect), how large the file may be, which bytes it must be
// when a digest is expected, and, for a program, that it is a whole one and who must have signed it.
#pragma once

#include <windows.h>

#include <vector>

#include "download/Sha256.h"
#include "download/UrlPolicy.h"

struct DownloadRules {
    CUrlPolicy urls;
    ULONGLONG cbMaxBytes = 0;  // 0: no cap
    bool bCheckSha256 = false;
    Sha256Digest expectedSha256{};
    bool bWholeProgram = false;  // a complete PE image (download/ProgramImage)
    bool bCheckSigner = false;   // signed by one of `signers` (download/PublisherSignature)
    std::vector<Sha256Digest> signers;
};
