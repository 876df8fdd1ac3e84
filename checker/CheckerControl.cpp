// What the Checker is as a control, beyond the standard behaviour of CControlBase: it always has a
// window of its own, persists only its size, draws a framed caption, and takes its user type, misc
// status and verbs from its registry entries.
#include <olectl.h>
#include <wrl/client.h>

#include "checker/Checker.h"

using Microsoft::WRL::ComPtr;

namespace {

// 2 inches in HIMETRIC.
constexpr LONG kInitialExtent = 5080;

// The persisted stream: a version word and the extent, 4 bytes each, little-endian.
constexpr DWORD kStreamVersion = 0x300;
constexpr ULONG kStreamSize = 3 * sizeof(DWORD);

const wchar_t kContentsStream[] = L"Contents";

const char kCaption[] = "ATL 3.0 : Checker";

}  // namespace

void CChecker::InitControlState()
{
    m_sizeExtent = SIZEL{kInitialExtent, kInitialExtent};
    m_sizeNatural = m_sizeExtent;
    m_bWindowOnly = true;
}

// ---- drawing ---------------------------------------------------------------------------------

HRESULT CChecker::OnDraw(HDC hdc, const RECT& rcBounds)
{
    ::Rectangle(hdc, rcBounds.left, rcBounds.top, rcBounds.right, rcBounds.bottom);
    ::SetTextAlign(hdc, TA_CENTER | TA_BASELINE);
    // Summed wide, so bounds near the ends of the range cannot overflow; the division truncates
    // toward zero, which puts the centre of -11..0 at -5.
    const int x = static_cast<int>((static_cast<long long>(rcBounds.left) + rcBounds.right) / 2);
    const int y = static_cast<int>((static_cast<long long>(rcBounds.top) + rcBounds.bottom) / 2);
    ::TextOutA(hdc, x, y, kCaption, static_cast<int>(sizeof kCaption - 1));
    return S_OK;
}

// ---- IViewObjectEx ---------------------------------------------------------------------------

STDMETHODIMP CChecker::GetViewStatus(DWORD* pdwStatus)
{
    if (!pdwStatus) return E_POINTER;
    *pdwStatus = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
    return S_OK;
}

STDMETHODIMP CChecker::QueryHitPoint(DWORD dwAspect, LPCRECT pRectBounds, POINT ptlLoc, LONG, DWORD* pHitResult)
{
    if (dwAspect != DVASPECT_CONTENT) return E_FAIL;
    if (!pRectBounds || !pHitResult) return E_POINTER;
    *pHitResult = ::PtInRect(pRectBounds, ptlLoc) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP CChecker::QueryHitRect(DWORD dwAspect, LPCRECT pRectBounds, LPCRECT pRectLoc, LONG, DWORD* pHitResult)
{
    if (dwAspect != DVASPECT_CONTENT) return E_FAIL;
    if (!pRectBounds || !pRectLoc || !pHitResult) return E_POINTER;
    RECT rcCommon;
    *pHitResult = ::IntersectRect(&rcCommon, pRectBounds, pRectLoc) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP CChecker::GetNaturalExtent(DWORD dwAspect, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO* pExtentInfo,
                                        LPSIZEL pSizel)
{
    if (!pExtentInfo || !pSizel) return E_POINTER;
    if (dwAspect != DVASPECT_CONTENT || pExtentInfo->dwExtentMode != DVEXTENT_CONTENT) return E_FAIL;
    *pSizel = m_sizeNatural;
    return S_OK;
}

// ---- IOleControl -----------------------------------------------------------------------------

STDMETHODIMP CChecker::GetControlInfo(CONTROLINFO*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CChecker::OnMnemonic(MSG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CChecker::OnAmbientPropertyChange(DISPID)
{
    return S_OK;
}

STDMETHODIMP CChecker::FreezeEvents(BOOL bFreeze)
{
    // There are no events; the count is kept so that freezing and thawing stay paired.
    if (bFreeze)
        ++m_nFreezeEvents;
    else
        --m_nFreezeEvents;
    return S_OK;
}

// ---- IOleObject ------------------------------------------------------------------------------

STDMETHODIMP CChecker::EnumVerbs(IEnumOLEVERB** ppEnumOleVerb)
{
    if (!ppEnumOleVerb) return E_POINTER;
    *ppEnumOleVerb = nullptr;
    return ::OleRegEnumVerbs(CLSID_Checker, ppEnumOleVerb);
}

STDMETHODIMP CChecker::GetUserType(DWORD dwFormOfType, LPOLESTR* pszUserType)
{
    if (!pszUserType) return E_POINTER;
    *pszUserType = nullptr;
    return ::OleRegGetUserType(CLSID_Checker, dwFormOfType, pszUserType);
}

STDMETHODIMP CChecker::GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus)
{
    if (!pdwStatus) return E_POINTER;
    *pdwStatus = 0;
    return ::OleRegGetMiscStatus(CLSID_Checker, dwAspect, pdwStatus);
}

// ---- IPersistStreamInit ----------------------------------------------------------------------

STDMETHODIMP CChecker::IsDirty()
{
    return m_bRequiresSave ? S_OK : S_FALSE;
}

STDMETHODIMP CChecker::Load(LPSTREAM pStm)
{
    if (!pStm) return E_POINTER;
    DWORD dwVersion = 0;
    ULONG cbRead = 0;
    HRESULT hr = pStm->Read(&dwVersion, sizeof dwVersion, &cbRead);
    if (FAILED(hr)) return hr;
    // A stream that ends early has no version to trust, nor a size.
    if (cbRead != sizeof dwVersion || dwVersion > kStreamVersion) return E_FAIL;
    DWORD size[2] = {};
    hr = pStm->Read(size, sizeof size, &cbRead);
    if (FAILED(hr)) return hr;
    if (cbRead != sizeof size) return E_FAIL;
    // Taken whole or not at all.
    m_sizeExtent = SIZEL{static_cast<LONG>(size[0]), static_cast<LONG>(size[1])};
    m_bRequiresSave = false;
    return S_OK;
}

STDMETHODIMP CChecker::Save(LPSTREAM pStm, BOOL fClearDirty)
{
    if (!pStm) return E_POINTER;
    const DWORD data[3] = {kStreamVersion, static_cast<DWORD>(m_sizeExtent.cx), static_cast<DWORD>(m_sizeExtent.cy)};
    ULONG cbWritten = 0;
    const HRESULT hr = pStm->Write(data, kStreamSize, &cbWritten);
    if (FAILED(hr)) return hr;
    if (cbWritten != kStreamSize) return STG_E_MEDIUMFULL;
    if (fClearDirty) m_bRequiresSave = false;
    return S_OK;
}

STDMETHODIMP CChecker::GetSizeMax(ULARGE_INTEGER* pCbSize)
{
    if (!pCbSize) return E_POINTER;
    pCbSize->QuadPart = kStreamSize;
    return S_OK;
}

STDMETHODIMP CChecker::InitNew()
{
    return S_OK;
}

// ---- IPersistStorage -------------------------------------------------------------------------

STDMETHODIMP CChecker::InitNew(IStorage*)
{
    return InitNew();
}

STDMETHODIMP CChecker::Load(IStorage* pStg)
{
    if (!pStg) return E_POINTER;
    ComPtr<IStream> stream;
    const HRESULT hr = pStg->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
    if (FAILED(hr)) return hr;
    return Load(stream.Get());
}

STDMETHODIMP CChecker::Save(IStorage* pStgSave, BOOL fSameAsLoad)
{
    if (!pStgSave) return E_POINTER;
    ComPtr<IStream> stream;
    const HRESULT hr = pStgSave->CreateStream(kContentsStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                              &stream);
    if (FAILED(hr)) return hr;
    return Save(stream.Get(), fSameAsLoad);
}

STDMETHODIMP CChecker::SaveCompleted(IStorage*)
{
    return S_OK;
}

STDMETHODIMP CChecker::HandsOffStorage()
{
    return S_OK;
}

// ---- ISpecifyPropertyPages -------------------------------------------------------------------

STDMETHODIMP CChecker::GetPages(CAUUID* pPages)
{
    if (!pPages) return E_POINTER;
    pPages->cElems = 0;
    pPages->pElems = nullptr;
    return S_OK;
}
