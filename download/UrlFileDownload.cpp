#include "download/UrlFileDownload.h"

#include "download/DownloadJob.h"
#include "framework/MessagePump.h"
#include "framework/Trace.h"

namespace {

// After an abort the platform still owes us its end notification; this is how long we wait for
// it before we let go of the transfer anyway.
constexpr DWORD kAbortGraceMs = 5000;

}  // namespace

DownloadResult DownloadUrlToFile(const char* pszUrl, const char* pszFilePath, const DownloadRules& rules,
                                 DWORD dwIdleLimitMs, DWORD dwDeadlineMs)
{
    DownloadResult result;
    CDownloadJob job;
    job.SetTarget(pszFilePath, pszUrl);
    job.SetRules(rules);
    result.hr = job.Start();
    if (FAILED(result.hr)) {
        result.refused = result.hr == E_ACCESSDENIED;
        return result;
    }

    const DWORD dwStartedAt = ::GetTickCount();
    DWORD dwAbortedAt = 0;
    while (!job.IsFinished()) {
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        PumpMessages();
        const DWORD dwNow = ::GetTickCount();
        const bool bSilent = dwNow - job.GetCallback()->GetLastActivity() > dwIdleLimitMs;
        const bool bLate = dwNow - dwStartedAt > dwDeadlineMs;
        if (!result.timedOut && (bSilent || bLate)) {
            Trace("download of %s abandoned: %s", pszFilePath, bSilent ? "silent too long" : "deadline passed");
            result.timedOut = true;
            dwAbortedAt = dwNow;
            job.Abort();
        } else if (result.timedOut && dwNow - dwAbortedAt > kAbortGraceMs) {
            job.Cancel();
            break;
        }
    }

    const CBindCallback& callback = *job.GetCallback();
    const bool bTimedOut = result.timedOut;
    if (callback.IsStopped()) {
        result = callback.Outcome();
    } else {
        // Let go of without its end: nothing of it counts.
        result = DownloadOutcome();
        result.hr = E_ABORT;
    }
    result.timedOut = bTimedOut;
    // urlmon tears a finished or aborted transfer down through messages it has posted to this
    // thread; let them run before the caller goes on.
    PumpMessages();
    return result;
}
