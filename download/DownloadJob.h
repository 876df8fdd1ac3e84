// One asynchronous download of a URL into a file: the moniker, the bind context and the callback
// of the running transfer. Notifications arrive through the thread's message loop.
#pragma once

#include <windows.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <string>

#include "download/BindCallback.h"
#include "download/DownloadRules.h"
#include "framework/CString.h"

class CDownloadJob {
public:
    // The platform's longest URL (INTERNET_MAX_URL_LENGTH), with its terminator.
    static constexpr int kMaxUrlChars = 2084;

    CDownloadJob() = default;
    ~CDownloadJob();
    CDownloadJob(const CDownloadJob&) = delete;
    CDownloadJob& operator=(const CDownloadJob&) = delete;

    // A URL that does not fit is not shortened: the job keeps no URL, and Start fails.
    void SetTarget(const char* pszFilePath, const char* pszURL);
    // What the transfer must keep to; by default any web address, any size, any bytes.
    void SetRules(const DownloadRules& rules) { m_rules = rules; }
    // Starts the transfer; a success code when it runs (its progress and its end go to the
    // observer, when there is one), the failing step's error when it could not start
    // (E_ACCESSDENIED for an address the rules refuse: then nothing is requested at all).
    HRESULT Start(IDownloadObserver* pObserver = nullptr);
    // Stops a running transfer for good: nothing more reaches the observer or the file.
    void Cancel();
    // Aborts a running transfer; its end is still reported.
    void Abort();

    bool IsFinished() const { return m_pCallback && m_pCallback->IsStopped(); }
    bool Succeeded() const { return m_pCallback && m_pCallback->IsStopped() && m_pCallback->Outcome().Succeeded(); }
    const CBindCallback* GetCallback() const { return m_pCallback.Get(); }

private:
    std::wstring m_url;
    CString m_strFilePath;
    DownloadRules m_rules;
    Microsoft::WRL::ComPtr<IMoniker> m_pMoniker;
    Microsoft::WRL::ComPtr<IBindCtx> m_pBindCtx;
    Microsoft::WRL::ComPtr<CBindCallback> m_pCallback;
};
