#include "download/BindCallback.h"

#include <shlwapi.h>

#include <algorithm>
#include <new>
#include <vector>

#include "download/HttpHeaders.h"
#include "download/ProgramImage.h"
#include "download/PublisherSignature.h"
#include "framework/Trace.h"

using Microsoft::WRL::ComPtr;

ComPtr<CBindCallback> CBindCallback::Create(const char* pszFilePath, const DownloadRules& rules,
                                            IDownloadObserver* pObserver)
{
    ComPtr<CBindCallback> callback;
    // The new object's own first reference becomes the ComPtr's. Not through Attach: mingw-w64's
    // ComPtr::Attach adds a reference of its own, unlike WRL's, and every download's callback
    // (with its read buffer) outlived the download.
    *callback.GetAddressOf() = new (std::nothrow) CBindCallback(pszFilePath, rules, pObserver);
    return callback;
}

CBindCallback::CBindCallback(const char* pszFilePath, const DownloadRules& rules, IDownloadObserver* pObserver)
    : m_rules(rules), m_pObserver(pObserver), m_part(pszFilePath), m_dwLastActivity(::GetTickCount())
{
}

STDMETHODIMP CBindCallback::QueryInterface(REFIID riid, void** ppv)
{
    static const QITAB kInterfaces[] = {
        QITABENT(CBindCallback, IBindStatusCallback),
        QITABENT(CBindCallback, IHttpNegotiate),
        QITABENT(CBindCallback, IBindCallbackRedirect),
        {nullptr, 0},
    };
    return ::QISearch(this, kInterfaces, riid, ppv);
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
    // The target itself is left alone until the whole file has arrived. Nothing could be
    // written: refusing the start ends the transfer before any request.
    if (!m_part.Create()) {
        m_outcome.writeFailed = true;
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
        AllowRedirect(szStatusText, kProgressChannel);
        return S_OK;
    }
    if (ulStatusCode != BINDSTATUS_BEGINDOWNLOADDATA && ulStatusCode != BINDSTATUS_DOWNLOADINGDATA &&
        ulStatusCode != BINDSTATUS_ENDDOWNLOADDATA)
        return S_OK;
    if (m_pObserver) m_pObserver->OnDownloadProgress(ulProgress, ulProgressMax, szStatusText && *szStatusText);
    return S_OK;
}

STDMETHODIMP CBindCallback::OnDataAvailable(DWORD grfBSCF, DWORD dwSize, FORMATETC*, STGMEDIUM* pstgmed)
{
    Touch();
    if (m_bCancelled) return E_ABORT;
    if (m_outcome.writeFailed || m_outcome.refused) {
        Abort();
        return E_ABORT;
    }
    HRESULT hr = S_OK;
    if ((grfBSCF & BSCF_FIRSTDATANOTIFICATION) && !m_pStream && pstgmed && pstgmed->tymed == TYMED_ISTREAM)
        m_pStream = pstgmed->pstm;

    m_grfLastNotice = grfBSCF;
    m_cbLastNoticed = dwSize;
    // The size is only a hint: the last notification may count less than the stream still
    // holds (a small body whose data and end are reported at once), and the stream is let go
    // of with it, so the last one always reads to the end.
    if (m_pStream && (dwSize > m_cbTotal || (grfBSCF & BSCF_LASTDATANOTIFICATION))) {
        // One buffer for the whole transfer, of a size that keeps the writes large and the
        // memory flat whatever the file's size; not cleared: every byte read is written.
        if (!m_readBuffer) m_readBuffer.reset(new (std::nothrow) BYTE[kReadChunk]);
        if (!m_readBuffer) return S_FALSE;
        BYTE* const buffer = m_readBuffer.get();
        do {
            ULONG nRead = 0;
            hr = m_pStream->Read(buffer, kReadChunk, &nRead);
            m_hrLastRead = hr;
            if (nRead > 0) {
                if (m_rules.cbMaxBytes != 0 && m_cbTotal + nRead > m_rules.cbMaxBytes) {
                    Refuse("the file is larger than allowed");
                    return S_OK;
                }
                if (!m_part.Write(buffer, nRead)) {
                    FailWrite();
                    return S_OK;
                }
                if (m_pHash) m_pHash->Update(buffer, nRead);
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
        if (m_pObserver) m_pObserver->OnDownloadArrived();
    }
    return hr;
}

STDMETHODIMP CBindCallback::OnStopBinding(HRESULT hresult, LPCWSTR)
{
    m_bStopped = true;
    m_pBinding.Reset();
    m_pStream.Reset();
    m_part.Seal();
    if (m_bCancelled) return S_OK;

    m_outcome.hr = hresult;
    m_outcome.incomplete = !ReceivedWholeBody();
    // The digest, the program and its signer are judged on the whole file only, and before it
    // replaces anything; the part file stays held from the checks through its move.
    if (m_outcome.IsWhole() && m_rules.bCheckSha256 && !DigestMatches()) Refuse("the bytes are not the expected ones");
    if (m_outcome.IsWhole()) CheckProgram();
    m_outcome.moved = m_outcome.IsWhole() && m_part.Commit();
    if (!m_outcome.Succeeded()) {
        Trace("download of %s failed: result 0x%08lX, HTTP status %lu, %llu bytes%s%s%s", m_part.Target().GetString(),
              static_cast<unsigned long>(hresult), static_cast<unsigned long>(m_outcome.httpStatus),
              static_cast<unsigned long long>(m_cbTotal), m_outcome.writeFailed ? ", write failed" : "",
              m_outcome.refused ? ", refused" : "", m_outcome.incomplete ? ", body cut short" : "");
        if (m_outcome.incomplete)
            Trace("download of %s: %lld bytes announced; last notice 0x%lX of %lu bytes, last read 0x%08lX",
                  m_part.Target().GetString(), m_nExpectedBytes, static_cast<unsigned long>(m_grfLastNotice),
                  static_cast<unsigned long>(m_cbLastNoticed), static_cast<unsigned long>(m_hrLastRead));
        m_part.Discard();
    }
    if (m_pObserver) m_pObserver->OnDownloadEnded(m_outcome.Succeeded());
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
    m_outcome.httpStatus = dwResponseCode;
    m_nExpectedBytes = http::ExpectedBodyLength(szResponseHeaders);
    if (m_rules.cbMaxBytes != 0 && m_nExpectedBytes > 0 && static_cast<ULONGLONG>(m_nExpectedBytes) > m_rules.cbMaxBytes) {
        Refuse("the announced length is larger than allowed");
        return E_ABORT;
    }
    return S_OK;
}

void CBindCallback::Cancel()
{
    m_bCancelled = true;
    m_pObserver = nullptr;
    m_pStream.Reset();
    m_part.Discard();
    Abort();
}

void CBindCallback::Abort()
{
    // Abort may call back into OnStopBinding, which lets go of the binding.
    ComPtr<IBinding> binding = m_pBinding;
    if (binding) binding->Abort();
}

void CBindCallback::FailWrite()
{
    // A file that cannot take the bytes (disk full, no file) ends the transfer as failed.
    m_outcome.writeFailed = true;
    m_part.Seal();
    Abort();
}

STDMETHODIMP CBindCallback::Redirect(LPCWSTR lpcUrl, VARIANT_BOOL* vbCancel)
{
    if (!vbCancel) return E_INVALIDARG;
    Touch();
    *vbCancel = m_bCancelled || !AllowRedirect(lpcUrl, kVetoChannel) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

bool CBindCallback::AllowRedirect(LPCWSTR pszUrl, RedirectChannel channel)
{
    const std::wstring url = pszUrl ? pszUrl : L"";
    // The other channel's report of the redirect just judged: judged once, counted once.
    if (m_lastRedirectChannel != kNoChannel && m_lastRedirectChannel != channel && url == m_strLastRedirect) {
        m_lastRedirectChannel = kNoChannel;
        return !m_outcome.refused;
    }
    m_lastRedirectChannel = channel;
    m_strLastRedirect = url;
    // The server may send us anywhere; we follow only where we would have gone ourselves, and
    // not round in circles: Wine's wininet follows a redirect loop for as long as it lasts.
    CString why;
    if (++m_nRedirects > kMaxRedirects)
        Refuse("too many redirects");
    else if (FAILED(m_rules.urls.Check(pszUrl, nullptr, why)))
        Refuse(why);
    return !m_outcome.refused;
}

void CBindCallback::Refuse(const char* pszWhy)
{
    if (m_outcome.refused) return;
    Trace("download of %s refused: %s", m_part.Target().GetString(), pszWhy);
    m_outcome.refused = true;
    m_part.Seal();
    Abort();
}

void CBindCallback::CheckProgram()
{
    if (m_rules.bWholeProgram) {
        const ULONGLONG cbFile = m_part.Size();
        std::vector<unsigned char> head(static_cast<size_t>(std::min<ULONGLONG>(cbFile, program_image::kHeadBytes)));
        std::string why = "it cannot be read";
        if (m_part.ReadAt(0, head.data(), head.size()) != head.size() ||
            !program_image::IsWholeProgram(head.data(), head.size(), cbFile, why)) {
            Refuse(("it is not a whole program: " + why).c_str());
            return;
        }
    }
    CString why;
    if (m_rules.bCheckSigner && !IsSignedByPinnedPublisher(m_part.Handle(), m_part.Path().c_str(), m_rules.signers, why))
        Refuse("it is not signed by the publisher: " + why);
}

bool CBindCallback::DigestMatches()
{
    Sha256Digest digest{};
    if (!m_pHash || !m_pHash->Finish(digest)) return false;
    return digest == m_rules.expectedSha256;
}
