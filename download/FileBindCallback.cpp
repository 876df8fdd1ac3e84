#include "download/FileBindCallback.h"

#include <cwchar>
#include <new>
#include <string>

using Microsoft::WRL::ComPtr;

namespace {

// The value of one header in a raw CRLF-separated block, or -1 when it is absent.
std::wstring HeaderValue(const wchar_t* pszHeaders, const wchar_t* pszName)
{
    const std::wstring headers = pszHeaders ? pszHeaders : L"";
    const size_t nameLength = wcslen(pszName);
    size_t lineStart = 0;
    while (lineStart < headers.size()) {
        size_t lineEnd = headers.find(L"\r\n", lineStart);
        if (lineEnd == std::wstring::npos) lineEnd = headers.size();
        const std::wstring line = headers.substr(lineStart, lineEnd - lineStart);
        if (line.size() > nameLength && line[nameLength] == L':' &&
            _wcsnicmp(line.c_str(), pszName, nameLength) == 0) {
            const size_t valueStart = line.find_first_not_of(L" \t", nameLength + 1);
            return valueStart == std::wstring::npos ? std::wstring() : line.substr(valueStart);
        }
        lineStart = lineEnd + 2;
    }
    return std::wstring(L"\x1");  // absent: no header value can look like this
}

long long ExpectedBodyLength(const wchar_t* pszHeaders)
{
    // A coded body arrives decoded, so its announced length says nothing about what we receive.
    const std::wstring encoding = HeaderValue(pszHeaders, L"Content-Encoding");
    if (encoding != L"\x1" && _wcsicmp(encoding.c_str(), L"identity") != 0) return -1;
    const std::wstring length = HeaderValue(pszHeaders, L"Content-Length");
    if (length.empty() || length.find_first_not_of(L"0123456789") != std::wstring::npos || length.size() > 18)
        return -1;
    return _wtoi64(length.c_str());
}

}  // namespace

ComPtr<CFileBindCallback> CFileBindCallback::Create(const char* pszFilePath)
{
    ComPtr<CFileBindCallback> callback;
    // The fresh object's own reference becomes the ComPtr's.
    callback.Attach(new (std::nothrow) CFileBindCallback(pszFilePath));
    return callback;
}

CFileBindCallback::CFileBindCallback(const char* pszFilePath)
    : m_strFilePath(pszFilePath), m_dwLastActivity(::GetTickCount())
{
}

STDMETHODIMP CFileBindCallback::QueryInterface(REFIID riid, void** ppv)
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

STDMETHODIMP_(ULONG) CFileBindCallback::AddRef()
{
    return ++m_cRef;
}

STDMETHODIMP_(ULONG) CFileBindCallback::Release()
{
    const ULONG cRef = --m_cRef;
    if (cRef == 0) delete this;
    return cRef;
}

STDMETHODIMP CFileBindCallback::OnStartBinding(DWORD, IBinding* pBinding)
{
    m_pBinding = pBinding;
    Touch();
    return S_OK;
}

STDMETHODIMP CFileBindCallback::GetPriority(LONG* pnPriority)
{
    if (!pnPriority) return E_POINTER;
    *pnPriority = THREAD_PRIORITY_NORMAL;
    return S_OK;
}

STDMETHODIMP CFileBindCallback::OnLowResource(DWORD)
{
    return S_OK;
}

STDMETHODIMP CFileBindCallback::OnProgress(ULONG, ULONG, ULONG, LPCWSTR)
{
    Touch();
    return S_OK;
}

STDMETHODIMP CFileBindCallback::OnStopBinding(HRESULT hresult, LPCWSTR)
{
    m_hrResult = hresult;
    m_file.Close();
    m_pBinding.Reset();
    m_bStopped = true;
    return S_OK;
}

STDMETHODIMP CFileBindCallback::GetBindInfo(DWORD* grfBINDF, BINDINFO* pbindinfo)
{
    if (!grfBINDF || !pbindinfo || pbindinfo->cbSize < sizeof(DWORD)) return E_INVALIDARG;
    // Always the server's current file, pulled as it arrives, never from or into the cache.
    *grfBINDF = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_GETNEWESTVERSION |
                BINDF_NOWRITECACHE;
    const ULONG cbSize = pbindinfo->cbSize;
    ZeroMemory(pbindinfo, cbSize);
    pbindinfo->cbSize = cbSize;
    if (cbSize >= offsetof(BINDINFO, dwBindVerb) + sizeof(DWORD)) pbindinfo->dwBindVerb = BINDVERB_GET;
    return S_OK;
}

STDMETHODIMP CFileBindCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* pstgmed)
{
    Touch();
    if (!pstgmed || pstgmed->tymed != TYMED_ISTREAM || !pstgmed->pstm) return S_OK;
    if (!m_file.IsOpen() && !m_bWriteFailed && !m_file.Open(m_strFilePath, CFile::modeWrite | CFile::modeCreate)) {
        m_bWriteFailed = true;
        Abort();
    }

    BYTE buffer[16384];
    for (;;) {
        ULONG nRead = 0;
        const HRESULT hr = pstgmed->pstm->Read(buffer, sizeof(buffer), &nRead);
        if (nRead > 0 && !m_bWriteFailed) m_nBytesWritten += nRead;
        if (nRead > 0 && !m_bWriteFailed && !m_file.Write(buffer, nRead)) {
            // A disk that is full ends the transfer: a partial file is no file.
            m_bWriteFailed = true;
            Abort();
        }
        if (hr != S_OK || nRead == 0) break;  // S_FALSE at the end, E_PENDING until more arrives
    }
    return S_OK;
}

STDMETHODIMP CFileBindCallback::OnObjectAvailable(REFIID, IUnknown*)
{
    return S_OK;
}

STDMETHODIMP CFileBindCallback::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* pszAdditionalHeaders)
{
    if (pszAdditionalHeaders) *pszAdditionalHeaders = nullptr;
    return S_OK;
}

STDMETHODIMP CFileBindCallback::OnResponse(DWORD dwResponseCode, LPCWSTR szResponseHeaders, LPCWSTR,
                                           LPWSTR* pszAdditionalRequestHeaders)
{
    if (pszAdditionalRequestHeaders) *pszAdditionalRequestHeaders = nullptr;
    m_dwHttpStatus = dwResponseCode;
    m_nExpectedBytes = ExpectedBodyLength(szResponseHeaders);
    Touch();
    return S_OK;
}

void CFileBindCallback::Abort()
{
    if (m_pBinding) m_pBinding->Abort();
}
