// The urlmon side of one download: the bind status callback and the HTTP negotiation. It writes
// the arriving bytes into a part file beside the target, keeps to the download's rules (redirects,
// size, digest, program and signer), decides the outcome, and tells an observer, when there is one, how it goes.
#pragma once

#include <windows.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <memory>
#include <string>

#include "download/DownloadObserver.h"
#include "download/DownloadOutcome.h"
#include "download/DownloadRules.h"
#include "download/PartFile.h"
#include "framework/CString.h"

// Sent to the progress dialog when a transfer has ended, successfully or not.
constexpr UINT WM_DOWNLOAD_DONE = WM_USER + 1;

class CBindCallback final : public IBindStatusCallback, public IHttpNegotiate, public IBindCallbackRedirect {
public:
    // How much one read takes from urlmon's stream (the download benchmark's bare bind matches it).
    static constexpr ULONG kReadChunk = 64 * 1024;

    // `pObserver` may be null: the blocking download runs without one.
    static Microsoft::WRL::ComPtr<CBindCallback> Create(const char* pszFilePath, const DownloadRules& rules = DownloadRules(),
                                                        IDownloadObserver* pObserver = nullptr);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IBindStatusCallback
    STDMETHODIMP OnStartBinding(DWORD dwReserved, IBinding* pBinding) override;
    STDMETHODIMP GetPriority(LONG* pnPriority) override;
    STDMETHODIMP OnLowResource(DWORD reserved) override;
    STDMETHODIMP OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode, LPCWSTR szStatusText) override;
    STDMETHODIMP OnStopBinding(HRESULT hresult, LPCWSTR szError) override;
    STDMETHODIMP GetBindInfo(DWORD* grfBINDF, BINDINFO* pbindinfo) override;
    STDMETHODIMP OnDataAvailable(DWORD grfBSCF, DWORD dwSize, FORMATETC* pformatetc, STGMEDIUM* pstgmed) override;
    STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* punk) override;

    // IHttpNegotiate: urlmon delivers an HTTP error page like a file, with S_OK; only the
    // response tells them apart.
    STDMETHODIMP BeginningTransaction(LPCWSTR szURL, LPCWSTR szHeaders, DWORD dwReserved,
                                      LPWSTR* pszAdditionalHeaders) override;
    STDMETHODIMP OnResponse(DWORD dwResponseCode, LPCWSTR szResponseHeaders, LPCWSTR szRequestHeaders,
                            LPWSTR* pszAdditionalRequestHeaders) override;

    // IBindCallbackRedirect: where urlmon offers it (Windows 8 and later, Internet Explorer 10
    // and later), a redirect is judged before the redirected request is sent; elsewhere only when
    // it is reported as progress, by which time the request may have gone out.
    STDMETHODIMP Redirect(LPCWSTR lpcUrl, VARIANT_BOOL* vbCancel) override;

    // Cancels: the transfer is aborted and the callback lets go of its observer and its file, so
    // notifications that still arrive touch nothing. The target keeps what it had.
    void Cancel();
    // Aborts a running transfer; its end still arrives through OnStopBinding.
    void Abort();

    bool IsStopped() const { return m_bStopped; }
    // How it ended; meaningful once stopped. Timed-out is the caller's to judge.
    const DownloadOutcome& Outcome() const { return m_outcome; }
    // GetTickCount() of the transfer's last sign of life.
    DWORD GetLastActivity() const { return m_dwLastActivity; }

private:
    CBindCallback(const char* pszFilePath, const DownloadRules& rules, IDownloadObserver* pObserver);
    ~CBindCallback() = default;
    void Touch() { m_dwLastActivity = ::GetTickCount(); }
    // Ends the transfer as failed for a reason the rules give, or for a file that cannot take
    // the bytes.
    void Refuse(const char* pszWhy);
    void FailWrite();
    bool ReceivedWholeBody() const { return m_nExpectedBytes < 0 || m_cbTotal == static_cast<ULONGLONG>(m_nExpectedBytes); }
    bool DigestMatches();
    // Refuses a file that is not the program the rules ask for; judged on the whole file.
    void CheckProgram();
    // The rules' verdict on one redirect, which may be reported through both channels: false (and
    // the transfer refused) for one to an address we would not fetch, or one too many.
    enum RedirectChannel { kNoChannel, kVetoChannel, kProgressChannel };
    bool AllowRedirect(LPCWSTR pszUrl, RedirectChannel channel);

    // More redirects than any site of ours needs.
    static constexpr int kMaxRedirects = 10;

    ULONG m_cRef = 1;
    DownloadRules m_rules;
    IDownloadObserver* m_pObserver;   // not owned; let go of on Cancel
    CPartFile m_part;
    std::unique_ptr<CSha256> m_pHash;  // only while a digest is expected
    Microsoft::WRL::ComPtr<IBinding> m_pBinding;
    Microsoft::WRL::ComPtr<IStream> m_pStream;
    std::unique_ptr<BYTE[]> m_readBuffer;
    DownloadOutcome m_outcome;
    ULONGLONG m_cbTotal = 0;
    long long m_nExpectedBytes = -1;  // Content-Length of an unencoded body, -1 when unknown
    DWORD m_dwLastActivity;
    int m_nRedirects = 0;
    RedirectChannel m_lastRedirectChannel = kNoChannel;  // which channel judged the last redirect
    std::wstring m_strLastRedirect;
    // The last data notification and the last read's answer, for the trace of a body cut short.
    DWORD m_grfLastNotice = 0;
    DWORD m_cbLastNoticed = 0;
    HRESULT m_hrLastRead = S_OK;
    bool m_bStopped = false;
    bool m_bCancelled = false;
};
