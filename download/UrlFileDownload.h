// A blocking download of one URL into one file that, unlike the platform's blocking download
// call, tells an HTTP error page from the file, gives up on a transfer that has stalled or lasts
// too long, and replaces the target only with a complete download.
#pragma once

#include <windows.h>

#include "download/DownloadOutcome.h"
#include "download/DownloadRules.h"

using DownloadResult = DownloadOutcome;

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
