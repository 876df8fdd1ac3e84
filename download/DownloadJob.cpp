#include "download/DownloadJob.h"

#include "framework/TextConversion.h"
#include "framework/Trace.h"

using Microsoft::WRL::ComPtr;

CDownloadJob::~CDownloadJob()
{
    m_pMoniker.Reset();
    m_pBindCtx.Reset();
    m_pCallback.Reset();
}

void CDownloadJob::SetTarget(const char* pszFilePath, const char* pszURL)
{
    m_strFilePath = pszFilePath;
    m_url = WideFromAnsi(pszURL);
    if (m_url.size() >= kMaxUrlChars) m_url.clear();
}

HRESULT CDownloadJob::Start(IDownloadObserver* pObserver)
{
    if (m_url.empty()) {
        Trace("download of %s: no address", m_strFilePath.GetString());
        return E_INVALIDARG;
    }
    // The moniker is made from the very address the rules judged, not from the text again.
    ComPtr<IUri> uri;
    CString why;
    HRESULT hr = m_rules.urls.Check(m_url.c_str(), &uri, why);
    if (FAILED(hr)) {
        Trace("download of %s refused: %s", m_strFilePath.GetString(), why.GetString());
        return hr;
    }
    hr = ::CreateURLMonikerEx2(nullptr, uri.Get(), &m_pMoniker, URL_MK_UNIFORM);
    if (SUCCEEDED(hr)) {
        m_pCallback = CBindCallback::Create(m_strFilePath, m_rules, pObserver);
        hr = m_pCallback ? S_OK : E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) hr = ::CreateBindCtx(0, &m_pBindCtx);
    if (SUCCEEDED(hr)) hr = ::RegisterBindStatusCallback(m_pBindCtx.Get(), m_pCallback.Get(), nullptr, 0);
    ComPtr<IStream> stream;
    if (SUCCEEDED(hr))
        hr = m_pMoniker->BindToStorage(m_pBindCtx.Get(), nullptr, IID_IStream,
                                       reinterpret_cast<void**>(stream.GetAddressOf()));
    if (SUCCEEDED(hr)) return hr;

    Trace("download of %s could not start: 0x%08lX", m_strFilePath.GetString(), static_cast<unsigned long>(hr));
    m_pBindCtx.Reset();
    m_pCallback.Reset();
    m_pMoniker.Reset();
    return hr;
}

void CDownloadJob::Cancel()
{
    if (m_pCallback) m_pCallback->Cancel();
}

void CDownloadJob::Abort()
{
    if (m_pCallback) m_pCallback->Abort();
}
