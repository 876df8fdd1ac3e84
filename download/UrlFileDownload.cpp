#include "download/UrlFileDownload.h"

#include "download/DownloadJob.h"

namespace {

// After an abort the platform still owes us its end notification; this is how long we wait for
// it before we let go of the transfer anyway.
constexpr DWORD kAbortGraceMs = 5000;

void PumpMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to take: the thread's own loop must see it.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

}  // namespace

DownloadResult DownloadUrlToFile(const char* pszUrl, const char* pszFilePath, DWORD dwIdleLimitMs)
{
    DownloadResult result;
    CDownloadJob job;
    job.SetTarget(pszFilePath, pszUrl);
    result.hr = job.Start(nullptr, nullptr, nullptr);
    if (FAILED(result.hr)) return result;

    DWORD dwAbortedAt = 0;
    while (!job.IsFinished()) {
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        PumpMessages();
        const DWORD dwNow = ::GetTickCount();
        if (!result.timedOut && dwNow - job.GetCallback()->GetLastActivity() > dwIdleLimitMs) {
            result.timedOut = true;
            dwAbortedAt = dwNow;
            job.Abort();
        } else if (result.timedOut && dwNow - dwAbortedAt > kAbortGraceMs) {
            job.Cancel();
            break;
        }
    }

    const CBindCallback& callback = *job.GetCallback();
    if (callback.IsStopped()) result.hr = callback.GetResult();
    else if (SUCCEEDED(result.hr)) result.hr = E_ABORT;
    result.httpStatus = callback.GetHttpStatus();
    result.writeFailed = callback.WriteFailed();
    result.incomplete = !callback.ReceivedWholeBody();
    result.moved = callback.Succeeded();
    // urlmon tears a finished or aborted transfer down through messages it has posted to this
    // thread; let them run before the caller goes on.
    PumpMessages();
    return result;
}
