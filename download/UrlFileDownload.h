// A blocking download of one URL into one file that, unlike the platform's blocking download
// call, tells an HTTP error page from the file, gives up on a transfer that has stalled, and
// replaces the target only with a complete download.
#pragma once

#include <windows.h>

struct DownloadResult {
    HRESULT hr = E_FAIL;    // the transfer's end result
    DWORD httpStatus = 0;   // the server's status; 0 where the scheme has none
    bool writeFailed = false;
    bool incomplete = false;  // fewer bytes than the server announced
    bool timedOut = false;  // aborted because nothing arrived for too long
    bool moved = false;     // the whole file now stands at the target path

    bool Succeeded() const
    {
        return SUCCEEDED(hr) && httpStatus < 400 && !writeFailed && !incomplete && !timedOut && moved;
    }
};

// One minute without a sign of life ends a transfer: the page that waits on it is held meanwhile.
constexpr DWORD kDefaultDownloadIdleLimitMs = 60 * 1000;

// Fetches `pszUrl` into `pszFilePath`, running the calling thread's messages meanwhile (urlmon
// reports through them). On success the file holds exactly the bytes received; on any failure
// an existing file at that path is left as it was.
DownloadResult DownloadUrlToFile(const char* pszUrl, const char* pszFilePath,
                                 DWORD dwIdleLimitMs = kDefaultDownloadIdleLimitMs);
