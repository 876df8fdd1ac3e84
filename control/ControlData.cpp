// The control as data: metafile renderings through IDataObject, and the OLE and data advise
// holders.
#include "control/ControlBase.h"

#include <olectl.h>
#include <shlobj.h>

#include "framework/Handles.h"

using Microsoft::WRL::ComPtr;

namespace {

// A recording context ends as a metafile; one that is abandoned still has to be closed, and the
// metafile it leaves deleted.
struct MetaFileDcTraits {
    using Type = HDC;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteMetaFile(::CloseMetaFile(h)); }
};

struct EnhMetaFileDcTraits {
    using Type = HDC;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteEnhMetaFile(::CloseEnhMetaFile(h)); }
};

// The rendered size of an extent on the screen: HIMETRIC is 0.01 mm, 2540 to the inch.
SIZE PixelsFromHimetric(const SIZEL& size)
{
    CScreenDc screen;
    const int nPerInchX = screen.Get() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSX) : 96;
    const int nPerInchY = screen.Get() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
    return SIZE{::MulDiv(size.cx, nPerInchX, 2540), ::MulDiv(size.cy, nPerInchY, 2540)};
}

bool IsRenderedFormat(const FORMATETC& format)
{
    return (format.cfFormat == CF_METAFILEPICT && (format.tymed & TYMED_MFPICT)) ||
           (format.cfFormat == CF_ENHMETAFILE && (format.tymed & TYMED_ENHMF));
}

}  // namespace

STDMETHODIMP CControlBase::Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection)
{
    if (!pdwConnection) return E_POINTER;
    *pdwConnection = 0;
    if (!m_spOleAdviseHolder) {
        const HRESULT hr = ::CreateOleAdviseHolder(&m_spOleAdviseHolder);
        if (FAILED(hr)) return hr;
    }
    return m_spOleAdviseHolder->Advise(pAdvSink, pdwConnection);
}

STDMETHODIMP CControlBase::Unadvise(DWORD dwConnection)
{
    if (!m_spOleAdviseHolder) return OLE_E_NOCONNECTION;
    return m_spOleAdviseHolder->Unadvise(dwConnection);
}

STDMETHODIMP CControlBase::EnumAdvise(IEnumSTATDATA** ppenumAdvise)
{
    if (!ppenumAdvise) return E_POINTER;
    *ppenumAdvise = nullptr;
    if (!m_spOleAdviseHolder) return E_FAIL;
    return m_spOleAdviseHolder->EnumAdvise(ppenumAdvise);
}

HRESULT CControlBase::RenderMetafilePict(STGMEDIUM* pmedium)
{
    const SIZE sizePixels = PixelsFromHimetric(m_sizeExtent);
    UniqueHandle<MetaFileDcTraits> dc(::CreateMetaFileA(nullptr));
    if (!dc) return E_OUTOFMEMORY;
    ::SetWindowOrgEx(dc.Get(), 0, 0, nullptr);
    ::SetWindowExtEx(dc.Get(), sizePixels.cx, sizePixels.cy, nullptr);
    const HRESULT hr = DrawAdvanced(dc.Get(), RECTL{0, 0, sizePixels.cx, sizePixels.cy});
    if (FAILED(hr)) return hr;
    UniqueHandle<MetaFileTraits> metafile(::CloseMetaFile(dc.Release()));
    if (!metafile) return E_UNEXPECTED;

    UniqueHandle<GlobalTraits> memory(::GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT)));
    if (!memory) return STG_E_MEDIUMFULL;
    auto* pPict = static_cast<METAFILEPICT*>(::GlobalLock(memory.Get()));
    if (!pPict) return STG_E_MEDIUMFULL;
    pPict->mm = MM_ANISOTROPIC;
    pPict->xExt = m_sizeExtent.cx;
    pPict->yExt = m_sizeExtent.cy;
    pPict->hMF = metafile.Release();
    ::GlobalUnlock(memory.Get());
    pmedium->tymed = TYMED_MFPICT;
    pmedium->hMetaFilePict = memory.Release();
    pmedium->pUnkForRelease = nullptr;
    return S_OK;
}

HRESULT CControlBase::RenderEnhMetafile(STGMEDIUM* pmedium)
{
    const SIZE sizePixels = PixelsFromHimetric(m_sizeExtent);
    const RECT rcFrame = {0, 0, m_sizeExtent.cx, m_sizeExtent.cy};  // 0.01 mm
    UniqueHandle<EnhMetaFileDcTraits> dc(::CreateEnhMetaFileA(nullptr, nullptr, &rcFrame, nullptr));
    if (!dc) return E_OUTOFMEMORY;
    const HRESULT hr = DrawAdvanced(dc.Get(), RECTL{0, 0, sizePixels.cx, sizePixels.cy});
    if (FAILED(hr)) return hr;
    HENHMETAFILE hEnhMetaFile = ::CloseEnhMetaFile(dc.Release());
    if (!hEnhMetaFile) return E_UNEXPECTED;
    pmedium->tymed = TYMED_ENHMF;
    pmedium->hEnhMetaFile = hEnhMetaFile;
    pmedium->pUnkForRelease = nullptr;
    return S_OK;
}

STDMETHODIMP CControlBase::GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium)
{
    if (!pformatetcIn || !pmedium) return E_POINTER;
    ZeroMemory(pmedium, sizeof *pmedium);
    const HRESULT hr = QueryGetData(pformatetcIn);
    if (hr != S_OK) return hr;
    return pformatetcIn->cfFormat == CF_METAFILEPICT ? RenderMetafilePict(pmedium) : RenderEnhMetafile(pmedium);
}

STDMETHODIMP CControlBase::GetDataHere(FORMATETC*, STGMEDIUM*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CControlBase::QueryGetData(FORMATETC* pformatetc)
{
    if (!pformatetc) return E_POINTER;
    if (pformatetc->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (pformatetc->cfFormat != CF_METAFILEPICT && pformatetc->cfFormat != CF_ENHMETAFILE) return DV_E_FORMATETC;
    if (!IsRenderedFormat(*pformatetc)) return DV_E_TYMED;
    return S_OK;
}

STDMETHODIMP CControlBase::GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut)
{
    if (!pformatectIn || !pformatetcOut) return E_POINTER;
    *pformatetcOut = *pformatectIn;
    pformatetcOut->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
}

STDMETHODIMP CControlBase::SetData(FORMATETC*, STGMEDIUM*, BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CControlBase::EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc)
{
    if (!ppenumFormatEtc) return E_POINTER;
    *ppenumFormatEtc = nullptr;
    if (dwDirection != DATADIR_GET) return E_NOTIMPL;
    FORMATETC formats[] = {
        {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT},
        {CF_ENHMETAFILE, nullptr, DVASPECT_CONTENT, -1, TYMED_ENHMF},
    };
    return ::SHCreateStdEnumFmtEtc(2, formats, ppenumFormatEtc);
}

STDMETHODIMP CControlBase::DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection)
{
    if (!pformatetc || !pAdvSink || !pdwConnection) return E_POINTER;
    *pdwConnection = 0;
    if (!m_spDataAdviseHolder) {
        const HRESULT hr = ::CreateDataAdviseHolder(&m_spDataAdviseHolder);
        if (FAILED(hr)) return hr;
    }
    return m_spDataAdviseHolder->Advise(static_cast<IDataObject*>(this), pformatetc, advf, pAdvSink, pdwConnection);
}

STDMETHODIMP CControlBase::DUnadvise(DWORD dwConnection)
{
    if (!m_spDataAdviseHolder) return OLE_E_NOCONNECTION;
    return m_spDataAdviseHolder->Unadvise(dwConnection);
}

STDMETHODIMP CControlBase::EnumDAdvise(IEnumSTATDATA** ppenumAdvise)
{
    if (!ppenumAdvise) return E_POINTER;
    *ppenumAdvise = nullptr;
    if (!m_spDataAdviseHolder) return E_FAIL;
    return m_spDataAdviseHolder->EnumAdvise(ppenumAdvise);
}

void CControlBase::SendOnDataChange()
{
    if (m_spDataAdviseHolder) m_spDataAdviseHolder->SendOnDataChange(static_cast<IDataObject*>(this), 0, 0);
}
