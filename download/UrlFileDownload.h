// A blocking download of one URL into one file that, unlike the platform's blocking download
// call, tells an HTTP error page from the file, gives up on a transfer that has stalled, and
// replaces the target only with a complete download.
#pragma once

#include <windows.h>

#include "download/HttpHeaders.h"
#include "download/DownloadRules.h"

struct DownloadResult {
    HRESULT hr = E_FAIL;    // the transfer's end result
    DWORD httpStatus = 0;   // the server's status; 0 where the scheme has none
    bool writeFailed = false;
    bool incomplete = false;  // fewer bytes than the server announced
    bool timedOut = false;  // aborted because nothing arrived for too long, or the deadline passed
    bool refused = false;   // the rules refused the address, a redirect, the size or the bytes
    bool moved = false;     // the whole file now stands at the target path

    bool Succeeded() const
    {
        return SUCCEEDED(hr) && http::IsFileStatus(httpStatus) && !writeFailed && !incomplete && !timedOut && !refused && moved;
    }
};

// One minute without a sign of life ends a transfer: the page that waits on it is held meanwhile.
constexpr DWORD kDefaultDownloadIdleLimitMs = 60 * 1000;
// Nor is the page held longer than five minutes in all by a server that trickles.
constexpr DWORD kDefaultDownloadDeadlineMs = 5 * 60 * 1000;

// Fetches `pszUrl` into `pszFilePath`, running the calling thread's messages meanwhile (urlmon
// reports through them). On success the file holds exactly the bytes received; on any failure
// an existing file at that path is left as it was. An address the rules refuse is never
// requested.
DownloadResult DownloadUrlToFile(const char* pszUrl, const char* pszFilePath, const DownloadRules& rules = DownloadRules(),
                                 DWORD dwIdleLimitMs = kDefaultDownloadIdleLimitMs,
                                 DWORD dwDeadlineMs = kDefaultDownloadDeadlineMs);
