// The bind status callback of a blocking file download: writes what arrives into one file,
// takes the HTTP status from urlmon's negotiation (urlmon delivers an error page with S_OK,
// so the bind result alone cannot tell a 404 from a file), and notes when anything last
// happened so that a stalled transfer can be aborted.
#pragma once

#include <windows.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <string>

#include "framework/CString.h"
#include "framework/File.h"

class CFileBindCallback final : public IBindStatusCallback, public IHttpNegotiate {
public:
    // Writes into `pszFilePath`, which must exist or be creatable.
    static Microsoft::WRL::ComPtr<CFileBindCallback> Create(const char* pszFilePath);

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

    // IHttpNegotiate
    STDMETHODIMP BeginningTransaction(LPCWSTR szURL, LPCWSTR szHeaders, DWORD dwReserved,
                                      LPWSTR* pszAdditionalHeaders) override;
    STDMETHODIMP OnResponse(DWORD dwResponseCode, LPCWSTR szResponseHeaders, LPCWSTR szRequestHeaders,
                            LPWSTR* pszAdditionalRequestHeaders) override;

    bool IsStopped() const { return m_bStopped; }
    HRESULT GetResult() const { return m_hrResult; }
    DWORD GetHttpStatus() const { return m_dwHttpStatus; }
    bool WriteFailed() const { return m_bWriteFailed; }
    // False when the server announced a length and fewer bytes arrived: urlmon reports a
    // connection closed mid-body as a normal end.
    bool ReceivedWholeBody() const { return m_nExpectedBytes < 0 || m_nBytesWritten == m_nExpectedBytes; }
    // GetTickCount() of the last sign of life from the transfer.
    DWORD GetLastActivity() const { return m_dwLastActivity; }
    // Stops a running transfer; its end still arrives through OnStopBinding.
    void Abort();

private:
    explicit CFileBindCallback(const char* pszFilePath);
    ~CFileBindCallback() = default;
    void Touch() { m_dwLastActivity = ::GetTickCount(); }

    ULONG m_cRef = 1;
    CString m_strFilePath;
    CFile m_file;
    Microsoft::WRL::ComPtr<IBinding> m_pBinding;
    DWORD m_dwLastActivity;
    DWORD m_dwHttpStatus = 0;
    long long m_nExpectedBytes = -1;  // Content-Length of an unencoded body, -1 when unknown
    long long m_nBytesWritten = 0;
    HRESULT m_hrResult = S_OK;
    bool m_bStopped = false;
    bool m_bWriteFailed = false;
};
