#include "download/BindCallback.h"

#include <commctrl.h>

#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "download/HttpHeaders.h"
#include "framework/Trace.h"

using Microsoft::WRL::ComPtr;

namespace {

const char kCompleteText[] = "Complete";
const char kFailedText[] = "설치실패";

// A file of our own in the target's folder; empty when none can be made there.
CString MakePartFile(const char* pszTarget)
{
    std::string folder(pszTarget ? pszTarget : "");
    const size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
    std::vector<char> name(MAX_PATH + 1);
    if (folder.size() > MAX_PATH - 14 || !::GetTempFileNameA(folder.c_str(), "qxd", 0, name.data())) return CString();
    return CString(name.data());
}

}  // namespace

CString FormatSizeText(ULONG ulProgress, ULONG ulProgressMax)
{
    const ULONG ulShown = ulProgress > ulProgressMax ? ulProgress : ulProgressMax;
    CString text;
    text.Format("%dK / %dK", static_cast<int>(ulProgress >> 10), static_cast<int>(ulShown >> 10));
    return text;
}

int ProgressBarPosition(ULONG ulProgress, ULONG ulProgressMax)
{
    if (ulProgressMax == 0) return 0;
    // Each step rounded to a double, as the share is defined: the x87 unit would otherwise keep
    // extra precision and turn 29 of 100 into 29 instead of 28.
    volatile double share = static_cast<double>(ulProgress) / static_cast<double>(ulProgressMax);
    volatile double percent = share * 100.0;
    // More than announced is a full bar; converting a share far past it would be undefined.
    if (percent >= 100.0) return 100;
    return static_cast<int>(percent);
}

ComPtr<CBindCallback> CBindCallback::Create(HWND hwndSize, HWND hwndProgress, HWND hwndOwner, const char* pszFilePath,
                                            const DownloadRules& rules)
{
    ComPtr<CBindCallback> callback;
    // The new object's own first reference becomes the ComPtr's.
    callback.Attach(new (std::nothrow) CBindCallback(hwndSize, hwndProgress, hwndOwner, pszFilePath, rules));
    return callback;
}

CBindCallback::CBindCallback(HWND hwndSize, HWND hwndProgress, HWND hwndOwner, const char* pszFilePath,
                             const DownloadRules& rules)
    : m_rules(rules),
      m_strFilePath(pszFilePath),
      m_hwndOwner(hwndOwner),
      m_hwndSize(hwndSize),
      m_hwndProgress(hwndProgress),
      m_dwLastActivity(::GetTickCount())
{
}

CBindCallback::~CBindCallback()
{
    DiscardPartFile();
}

STDMETHODIMP CBindCallback::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IBindStatusCallback)
        *ppv = static_cast<IBindStatusCallback*>(this);
    else if (riid == IID_IHttpNegotiate)
        *ppv = static_cast<IHttpNegotiate*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CBindCallback::AddRef()
{
    return ++m_cRef;
}

STDMETHODIMP_(ULONG) CBindCallback::Release()
{
    const ULONG cRef = --m_cRef;
    if (cRef == 0) delete this;
    return cRef;
}

STDMETHODIMP CBindCallback::OnStartBinding(DWORD, IBinding* pBinding)
{
    m_pBinding = pBinding;
    Touch();
    // Cancelled before it began: refusing the start sends no request at all.
    if (m_bCancelled) return E_ABORT;
    // The target itself is left alone until the whole file has arrived.
    m_strPartPath = MakePartFile(m_strFilePath);
    if (m_strPartPath.IsEmpty() || !m_file.Open(m_strPartPath, CFile::modeCreate | CFile::modeReadWrite)) {
        // Nothing could be written: refusing the start ends the transfer before any request.
        Trace("download: no file can be made beside %s", m_strFilePath.GetString());
        m_bWriteFailed = true;
        return E_ABORT;
    }
    if (m_rules.bCheckSha256) m_pHash.reset(new (std::nothrow) CSha256());
    return S_OK;
}

STDMETHODIMP CBindCallback::GetPriority(LONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBindCallback::OnLowResource(DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBindCallback::OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode, LPCWSTR szStatusText)
{
    Touch();
    if (m_bCancelled) return S_OK;
    if (ulStatusCode == BINDSTATUS_REDIRECTING) {
        // The server may send us anywhere; we follow only where we would have gone ourselves, and
        // not round in circles: Wine's wininet follows a redirect loop for as long as it lasts.
        CString why;
        if (++m_nRedirects > kMaxRedirects)
            Refuse(m_bRedirectRefused, "too many redirects");
        else if (FAILED(m_rules.urls.Check(szStatusText, nullptr, why)))
            Refuse(m_bRedirectRefused, why);
        return S_OK;
    }
    if (ulStatusCode != BINDSTATUS_BEGINDOWNLOADDATA && ulStatusCode != BINDSTATUS_DOWNLOADINGDATA &&
        ulStatusCode != BINDSTATUS_ENDDOWNLOADDATA)
        return S_OK;
    if (szStatusText && *szStatusText) SetSizeText(FormatSizeText(ulProgress, ulProgressMax));
    if (m_hwndProgress)
        ::SendMessageA(m_hwndProgress, PBM_SETPOS, static_cast<WPARAM>(ProgressBarPosition(ulProgress, ulProgressMax)), 0);
    return S_OK;
}

STDMETHODIMP CBindCallback::OnDataAvailable(DWORD grfBSCF, DWORD dwSize, FORMATETC*, STGMEDIUM* pstgmed)
{
    Touch();
    if (m_bCancelled) return E_ABORT;
    if (m_bWriteFailed || m_bRedirectRefused || m_bTooLarge) {
        Abort();
        return E_ABORT;
    }
    HRESULT hr = S_OK;
    if ((grfBSCF & BSCF_FIRSTDATANOTIFICATION) && !m_pStream && pstgmed && pstgmed->tymed == TYMED_ISTREAM)
        m_pStream = pstgmed->pstm;

    if (m_pStream && dwSize > m_cbTotal) {
        const ULONG nNew = static_cast<ULONG>(dwSize - m_cbTotal);
        // Sized to what is announced as new, and not cleared: every byte read is written.
        std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[nNew]);
        if (!buffer) return S_FALSE;
        do {
            ULONG nRead = 0;
            hr = m_pStream->Read(buffer.get(), nNew, &nRead);
            if (nRead > 0) {
                if (m_rules.cbMaxBytes != 0 && m_cbTotal + nRead > m_rules.cbMaxBytes) {
                    Refuse(m_bTooLarge, "the file is larger than allowed");
                    return S_OK;
                }
                if (!m_file.Write(buffer.get(), nRead)) {
                    FailWrite();
                    return S_OK;
                }
                if (m_pHash) m_pHash->Update(buffer.get(), nRead);
                m_cbTotal += nRead;
            }
            // A stream that answers "done" with nothing has nothing more for now: asking again
            // would only spin.
            if (hr == S_OK && nRead == 0) break;
        } while (hr != E_PENDING && hr != S_FALSE && SUCCEEDED(hr));
        // "No more for now" and "no more at all" are the normal ends of a read; handed back,
        // Wine's urlmon takes them for the end of the whole transfer.
        if (hr == E_PENDING || hr == S_FALSE) hr = S_OK;
    }

    if (grfBSCF & BSCF_LASTDATANOTIFICATION) {
        m_pStream.Reset();
        hr = S_OK;
        SetSizeText(kCompleteText);
    }
    return hr;
}

STDMETHODIMP CBindCallback::OnStopBinding(HRESULT hresult, LPCWSTR)
{
    m_bStopped = true;
    m_hrResult = hresult;
    m_pBinding.Reset();
    m_pStream.Reset();
    m_file.Close();
    if (m_bCancelled) return S_OK;

    const bool bWhole = hresult == S_OK && http::IsFileStatus(m_dwHttpStatus) && !m_bWriteFailed && !m_bRedirectRefused &&
                        !m_bTooLarge && ReceivedWholeBody() && !m_strPartPath.IsEmpty();
    // The digest is judged on the whole file only, and before it replaces anything.
    if (bWhole && m_rules.bCheckSha256 && !DigestMatches()) m_bDigestMismatch = true;
    m_bSucceeded = bWhole && !m_bDigestMismatch &&
                   ::MoveFileExA(m_strPartPath, m_strFilePath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
    if (!m_bSucceeded)
        Trace("download of %s failed: result 0x%08lX, HTTP status %lu, %llu bytes%s%s%s%s%s", m_strFilePath.GetString(),
              static_cast<unsigned long>(hresult), static_cast<unsigned long>(m_dwHttpStatus),
              static_cast<unsigned long long>(m_cbTotal), m_bWriteFailed ? ", write failed" : "",
              m_bRedirectRefused ? ", redirect refused" : "", m_bTooLarge ? ", too large" : "",
              m_bDigestMismatch ? ", digest mismatch" : "", ReceivedWholeBody() ? "" : ", body cut short");
    if (m_bSucceeded)
        m_strPartPath.Empty();
    else
        DiscardPartFile();
    if (!m_bSucceeded) SetSizeText(kFailedText);
    if (m_hwndOwner) ::SendMessageA(m_hwndOwner, WM_DOWNLOAD_DONE, 0, 0);
    return S_OK;
}

STDMETHODIMP CBindCallback::GetBindInfo(DWORD* grfBINDF, BINDINFO* pbindinfo)
{
    if (!grfBINDF || !pbindinfo) return E_INVALIDARG;
    // Pulled as it arrives, never blocking on data not yet there, always the server's newest
    // file, kept out of the cache.
    *grfBINDF = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PULLDATA;
    // Only what the caller's structure has room for is written.
    const ULONG cbCaller = pbindinfo->cbSize;
    const ULONG cbOurs = offsetof(BINDINFO, szCustomVerb) + sizeof(pbindinfo->szCustomVerb);
    ZeroMemory(pbindinfo, cbCaller < cbOurs ? cbCaller : cbOurs);
    pbindinfo->cbSize = cbCaller;
    return S_OK;
}

STDMETHODIMP CBindCallback::OnObjectAvailable(REFIID, IUnknown*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBindCallback::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* pszAdditionalHeaders)
{
    if (pszAdditionalHeaders) *pszAdditionalHeaders = nullptr;
    return S_OK;
}

STDMETHODIMP CBindCallback::OnResponse(DWORD dwResponseCode, LPCWSTR szResponseHeaders, LPCWSTR,
                                       LPWSTR* pszAdditionalRequestHeaders)
{
    if (pszAdditionalRequestHeaders) *pszAdditionalRequestHeaders = nullptr;
    Touch();
    m_dwHttpStatus = dwResponseCode;
    m_nExpectedBytes = http::ExpectedBodyLength(szResponseHeaders);
    if (m_rules.cbMaxBytes != 0 && m_nExpectedBytes > 0 &&
        static_cast<ULONGLONG>(m_nExpectedBytes) > m_rules.cbMaxBytes)
    {
        Refuse(m_bTooLarge, "the announced length is larger than allowed");
        return E_ABORT;
    }
    return S_OK;
}

void CBindCallback::Cancel()
{
    m_bCancelled = true;
    m_hwndOwner = m_hwndSize = m_hwndProgress = nullptr;
    m_pStream.Reset();
    m_file.Close();
    DiscardPartFile();
    Abort();
}

void CBindCallback::Abort()
{
    // Abort may call back into OnStopBinding, which lets go of the binding.
    ComPtr<IBinding> binding = m_pBinding;
    if (binding) binding->Abort();
}

void CBindCallback::SetSizeText(const char* pszText)
{
    if (m_hwndSize) ::SetWindowTextA(m_hwndSize, pszText);
}

void CBindCallback::FailWrite()
{
    // A file that cannot take the bytes (disk full, no file) ends the transfer as failed.
    m_bWriteFailed = true;
    m_file.Close();
    Abort();
}

void CBindCallback::Refuse(bool& bReason, const char* pszWhy)
{
    if (bReason) return;
    Trace("download of %s refused: %s", m_strFilePath.GetString(), pszWhy);
    bReason = true;
    m_file.Close();
    Abort();
}

bool CBindCallback::DigestMatches()
{
    Sha256Digest digest{};
    if (!m_pHash || !m_pHash->Finish(digest)) return false;
    return digest == m_rules.expectedSha256;
}

void CBindCallback::DiscardPartFile()
{
    if (m_strPartPath.IsEmpty()) return;
    m_file.Close();
    ::DeleteFileA(m_strPartPath);
    m_strPartPath.Empty();
}
