// The bind status callback of one download: writes the arriving bytes into a file of its own
// beside the target and moves it over the target only when the whole file has arrived, shows the
// amount and the progress in two windows, and tells its owner window when the transfer is over.
#pragma once

#include <windows.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <memory>

#include "download/DownloadRules.h"
#include "framework/CString.h"
#include "framework/File.h"

// Sent to the owner window when a transfer has ended, successfully or not.
constexpr UINT WM_DOWNLOAD_DONE = WM_USER + 1;

// The size text while data arrives: whole KiB so far, and of the larger of the amount so far and
// the announced total.
CString FormatSizeText(ULONG ulProgress, ULONG ulProgressMax);
// The progress bar's position: the share in per cent, truncated, at most 100; 0 while the total
// is unknown.
int ProgressBarPosition(ULONG ulProgress, ULONG ulProgressMax);

class CBindCallback final : public IBindStatusCallback, public IHttpNegotiate {
public:
    // Any window may be null: the blocking download runs without any.
    static Microsoft::WRL::ComPtr<CBindCallback> Create(HWND hwndSize, HWND hwndProgress, HWND hwndOwner,
                                                        const char* pszFilePath,
                                                        const DownloadRules& rules = DownloadRules());

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

    // Cancels: the transfer is aborted and the callback lets go of its windows and its file, so
    // notifications that still arrive touch nothing. The target keeps what it had.
    void Cancel();
    // Aborts a running transfer; its end still arrives through OnStopBinding.
    void Abort();

    bool IsStopped() const { return m_bStopped; }
    // The whole file arrived and now stands at the target path.
    bool Succeeded() const { return m_bSucceeded; }
    HRESULT GetResult() const { return m_hrResult; }
    DWORD GetHttpStatus() const { return m_dwHttpStatus; }
    bool WriteFailed() const { return m_bWriteFailed; }
    // A redirect led to an address the rules do not allow; the transfer was aborted there.
    bool RedirectRefused() const { return m_bRedirectRefused; }
    // The file was larger than the rules allow; the transfer was aborted at the cap.
    bool TooLarge() const { return m_bTooLarge; }
    // The whole file arrived, but not with the expected digest.
    bool DigestMismatch() const { return m_bDigestMismatch; }
    bool ReceivedWholeBody() const { return m_nExpectedBytes < 0 || m_cbTotal == static_cast<ULONGLONG>(m_nExpectedBytes); }
    // GetTickCount() of the transfer's last sign of life.
    DWORD GetLastActivity() const { return m_dwLastActivity; }

private:
    CBindCallback(HWND hwndSize, HWND hwndProgress, HWND hwndOwner, const char* pszFilePath, const DownloadRules& rules);
    ~CBindCallback();
    void Touch() { m_dwLastActivity = ::GetTickCount(); }
    void SetSizeText(const char* pszText);
    void FailWrite();
    void DiscardPartFile();
    // Ends the transfer as failed for a reason the rules give.
    void Refuse(bool& bReason, const char* pszWhy);
    bool DigestMatches();

    // More redirects than any site of ours needs.
    static constexpr int kMaxRedirects = 10;

    ULONG m_cRef = 1;
    int m_nRedirects = 0;
    DownloadRules m_rules;
    std::unique_ptr<CSha256> m_pHash;  // only while a digest is expected
    CFile m_file;
    CString m_strFilePath;
    CString m_strPartPath;  // where the bytes go until the whole file is there
    Microsoft::WRL::ComPtr<IBinding> m_pBinding;
    Microsoft::WRL::ComPtr<IStream> m_pStream;
    HWND m_hwndOwner;
    HWND m_hwndSize;
    HWND m_hwndProgress;
    ULONGLONG m_cbTotal = 0;
    long long m_nExpectedBytes = -1;  // Content-Length of an unencoded body, -1 when unknown
    DWORD m_dwHttpStatus = 0;
    DWORD m_dwLastActivity;
    HRESULT m_hrResult = S_OK;
    bool m_bWriteFailed = false;
    bool m_bRedirectRefused = false;
    bool m_bTooLarge = false;
    bool m_bDigestMismatch = false;
    bool m_bStopped = false;
    bool m_bSucceeded = false;
    bool m_bCancelled = false;
};
