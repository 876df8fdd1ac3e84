#include "download/DownloadJob.h"

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
    m_wszURL[0] = L'\0';
    if (::MultiByteToWideChar(CP_ACP, 0, pszURL ? pszURL : "", -1, m_wszURL, kMaxUrlChars) == 0) m_wszURL[0] = L'\0';
}

HRESULT CDownloadJob::Start(HWND hwndSize, HWND hwndProgress, HWND hwndOwner)
{
    if (m_wszURL[0] == L'\0') return E_INVALIDARG;
    HRESULT hr = ::CreateURLMoniker(nullptr, m_wszURL, &m_pMoniker);
    if (SUCCEEDED(hr)) {
        m_pCallback = CBindCallback::Create(hwndSize, hwndProgress, hwndOwner, m_strFilePath);
        hr = m_pCallback ? S_OK : E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) hr = ::CreateBindCtx(0, &m_pBindCtx);
    if (SUCCEEDED(hr)) hr = ::RegisterBindStatusCallback(m_pBindCtx.Get(), m_pCallback.Get(), nullptr, 0);
    ComPtr<IStream> stream;
    if (SUCCEEDED(hr))
        hr = m_pMoniker->BindToStorage(m_pBindCtx.Get(), nullptr, IID_IStream,
                                       reinterpret_cast<void**>(stream.GetAddressOf()));
    if (SUCCEEDED(hr)) return hr;

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
