// How one download ended, and the one rule of what counts as success.
#pragma once

#include <windows.h>

#include "download/HttpHeaders.h"

struct DownloadOutcome {
    HRESULT hr = E_FAIL;      // the transfer's end result
    DWORD httpStatus = 0;     // the server's status; 0 where the scheme has none
    bool writeFailed = false;
    bool incomplete = false;  // fewer bytes than the server announced
    bool timedOut = false;    // abandoned: silent too long, or past its deadline
    bool refused = false;     // the rules refused the address, a redirect, the size or the bytes
    bool moved = false;       // the whole file now stands at the target path

    // Everything arrived as it should: only then may the file take the target's place.
    bool IsWhole() const
    {
        return SUCCEEDED(hr) && http::IsFileStatus(httpStatus) && !writeFailed && !incomplete && !timedOut && !refused;
    }
    bool Succeeded() const { return IsWhole() && moved; }
};
