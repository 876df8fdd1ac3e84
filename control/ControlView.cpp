// Drawing: IViewObject, and the preparation of a caller's context around the control's OnDraw.
#include "control/ControlBase.h"

using Microsoft::WRL::ComPtr;

namespace {

// Gives the caller's context back in the state it was handed in.
class CSavedDc {
public:
    explicit CSavedDc(HDC hdc) : m_hdc(hdc), m_nSaved(::SaveDC(hdc)) {}
    ~CSavedDc() {
        if (m_nSaved) ::RestoreDC(m_hdc, m_nSaved);
    }
    CSavedDc(const CSavedDc&) = delete;
    CSavedDc& operator=(const CSavedDc&) = delete;

private:
    HDC m_hdc;
    int m_nSaved;
};

}  // namespace

HRESULT CControlBase::DrawAdvanced(HDC hdcDraw, const RECTL& rclBounds)
{
    RECT rcBounds = {rclBounds.left, rclBounds.top, rclBounds.right, rclBounds.bottom};
    // A metafile has no device to convert to; its player maps what it recorded.
    if (::GetDeviceCaps(hdcDraw, TECHNOLOGY) == DT_METAFILE) return OnDraw(hdcDraw, rcBounds);

    ::LPtoDP(hdcDraw, reinterpret_cast<POINT*>(&rcBounds), 2);
    CSavedDc saved(hdcDraw);
    ::SetMapMode(hdcDraw, MM_TEXT);
    ::SetWindowOrgEx(hdcDraw, 0, 0, nullptr);
    ::SetViewportOrgEx(hdcDraw, 0, 0, nullptr);
    return OnDraw(hdcDraw, rcBounds);
}

void CControlBase::OnWindowPaint(HDC hdc, const RECT& rcClient)
{
    const RECTL rclBounds = {rcClient.left, rcClient.top, rcClient.right, rcClient.bottom};
    DrawAdvanced(hdc, rclBounds);
}

STDMETHODIMP CControlBase::Draw(DWORD dwDrawAspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC hdcDraw,
                                LPCRECTL lprcBounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    if (dwDrawAspect == DVASPECT_ICON || dwDrawAspect == DVASPECT_THUMBNAIL) return DV_E_DVASPECT;
    if (!hdcDraw) return E_INVALIDARG;
    RECTL rclBounds;
    if (lprcBounds) {
        rclBounds = *lprcBounds;
    } else if (m_bWndLess && m_bInPlaceActive) {
        // A windowless control draws where its site put it.
        rclBounds = RECTL{m_rcPos.left, m_rcPos.top, m_rcPos.right, m_rcPos.bottom};
    } else {
        return E_INVALIDARG;
    }
    return DrawAdvanced(hdcDraw, rclBounds);
}

STDMETHODIMP CControlBase::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**)
{
    return E_NOTIMPL;
}

STDMETHODIMP CControlBase::Freeze(DWORD, LONG, void*, DWORD*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CControlBase::Unfreeze(DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP CControlBase::SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink)
{
    m_spAdviseSink = pAdvSink;
    m_dwViewAdviseAspects = aspects;
    m_dwViewAdviseFlags = advf;
    if (pAdvSink && (advf & ADVF_PRIMEFIRST)) pAdvSink->OnViewChange(DVASPECT_CONTENT, -1);
    return S_OK;
}

STDMETHODIMP CControlBase::GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink)
{
    if (pAspects) *pAspects = m_dwViewAdviseAspects;
    if (pAdvf) *pAdvf = m_dwViewAdviseFlags;
    if (ppAdvSink) {
        *ppAdvSink = m_spAdviseSink.Get();
        if (*ppAdvSink) (*ppAdvSink)->AddRef();
    }
    return S_OK;
}

STDMETHODIMP CControlBase::GetExtent(DWORD dwDrawAspect, LONG, DVTARGETDEVICE*, LPSIZEL lpsizel)
{
    if (!lpsizel) return E_POINTER;
    if (dwDrawAspect != DVASPECT_CONTENT) return E_FAIL;
    *lpsizel = m_sizeExtent;
    return S_OK;
}

STDMETHODIMP CControlBase::GetRect(DWORD, LPRECTL)
{
    return E_NOTIMPL;
}

void CControlBase::FireViewChange()
{
    if (m_bInPlaceActive) {
        if (GetControlWindow()) {
            ::InvalidateRect(GetControlWindow(), nullptr, TRUE);
        } else if (m_bWndLess) {
            ComPtr<IOleInPlaceSiteWindowless> spWindowless;
            if (SUCCEEDED(m_spInPlaceSite.As(&spWindowless))) spWindowless->InvalidateRect(nullptr, TRUE);
        }
    } else if (m_spAdviseSink) {
        m_spAdviseSink->OnViewChange(DVASPECT_CONTENT, -1);
    }
}
