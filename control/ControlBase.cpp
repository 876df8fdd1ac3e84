#include "control/ControlBase.h"

#include <oleauto.h>
#include <olectl.h>
#include <shlobj.h>

#include <cstddef>

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

bool DoesVerbUIActivate(LONG iVerb)
{
    return iVerb == OLEIVERB_PRIMARY || iVerb == OLEIVERB_SHOW || iVerb == OLEIVERB_UIACTIVATE || iVerb > 0;
}

}  // namespace

CControlBase::CControlBase() : m_window(*this) {}

CControlBase::~CControlBase()
{
    // The window calls back into this object; it goes first.
    m_window.Destroy();
}

// ---- drawing ---------------------------------------------------------------------------------

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

// ---- window, activation and focus ------------------------------------------------------------

STDMETHODIMP CControlBase::GetWindow(HWND* phwnd)
{
    if (!phwnd) return E_POINTER;
    *phwnd = GetControlWindow();
    return *phwnd ? S_OK : E_FAIL;
}

STDMETHODIMP CControlBase::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

HRESULT CControlBase::InPlaceActivate(LONG iVerb)
{
    // Without a site there is nowhere to activate; the misc status asks for the site first.
    if (!m_spClientSite) return E_UNEXPECTED;

    if (!m_bNegotiatedWnd) {
        m_spInPlaceSite.Reset();
        m_bWndLess = false;
        m_bInPlaceSiteEx = false;
        ComPtr<IOleInPlaceSiteWindowless> spWindowless;
        if (!m_bWindowOnly && SUCCEEDED(m_spClientSite.As(&spWindowless))) {
            m_bInPlaceSiteEx = true;
            m_bWndLess = spWindowless->CanWindowlessActivate() == S_OK;
            m_spInPlaceSite = spWindowless;
        } else {
            ComPtr<IOleInPlaceSiteEx> spSiteEx;
            if (SUCCEEDED(m_spClientSite.As(&spSiteEx))) {
                m_bInPlaceSiteEx = true;
                m_spInPlaceSite = spSiteEx;
            } else {
                m_spClientSite.As(&m_spInPlaceSite);
            }
        }
    }
    if (!m_spInPlaceSite) return E_FAIL;
    m_bNegotiatedWnd = true;

    if (!m_bInPlaceActive) {
        if (m_bInPlaceSiteEx) {
            ComPtr<IOleInPlaceSiteEx> spSiteEx;
            m_spInPlaceSite.As(&spSiteEx);
            BOOL bNoRedraw = FALSE;
            if (spSiteEx) spSiteEx->OnInPlaceActivateEx(&bNoRedraw, m_bWndLess ? ACTIVATE_WINDOWLESS : 0);
        } else {
            const HRESULT hr = m_spInPlaceSite->CanInPlaceActivate();
            if (FAILED(hr)) return hr;
            if (hr != S_OK) return E_FAIL;
            m_spInPlaceSite->OnInPlaceActivate();
        }
    }
    m_bInPlaceActive = true;

    ComPtr<IOleInPlaceFrame> spFrame;
    ComPtr<IOleInPlaceUIWindow> spUIWindow;
    HWND hwndParent = nullptr;
    if (m_spInPlaceSite->GetWindow(&hwndParent) == S_OK) {
        RECT rcPos = {}, rcClip = {};
        OLEINPLACEFRAMEINFO frameInfo = {};
        frameInfo.cb = sizeof frameInfo;
        const HRESULT hr = m_spInPlaceSite->GetWindowContext(&spFrame, &spUIWindow, &rcPos, &rcClip, &frameInfo);
        // A site that cannot say where the control goes, or a window that cannot be made, leaves
        // the control inactive rather than half active.
        if (FAILED(hr)) {
            InPlaceDeactivate();
            return hr;
        }
        if (!m_bWndLess) {
            if (GetControlWindow()) {
                ::ShowWindow(GetControlWindow(), SW_SHOW);
                SetControlFocus(true);
            } else if (!m_window.Create(hwndParent, rcPos)) {
                InPlaceDeactivate();
                return E_FAIL;
            }
        }
        SetObjectRects(&rcPos, &rcClip);
    }

    if (DoesVerbUIActivate(iVerb) && !m_bUIActive) {
        m_bUIActive = true;
        const HRESULT hr = m_spInPlaceSite->OnUIActivate();
        if (FAILED(hr)) {
            m_bUIActive = false;
            return hr;
        }
        SetControlFocus(true);
        ComPtr<IOleInPlaceActiveObject> spActive;
        GetControllingUnknown()->QueryInterface(IID_PPV_ARGS(&spActive));
        if (spFrame) {
            spFrame->SetActiveObject(spActive.Get(), nullptr);
            spFrame->SetBorderSpace(nullptr);
        }
        if (spUIWindow) {
            spUIWindow->SetActiveObject(spActive.Get(), nullptr);
            spUIWindow->SetBorderSpace(nullptr);
        }
    }
    m_spClientSite->ShowObject();
    return S_OK;
}

STDMETHODIMP CControlBase::InPlaceDeactivate()
{
    if (!m_bInPlaceActive) return S_OK;
    UIDeactivate();
    m_bInPlaceActive = false;
    m_window.Destroy();
    if (m_spInPlaceSite) {
        ComPtr<IOleInPlaceSiteEx> spSiteEx;
        if (m_bInPlaceSiteEx && SUCCEEDED(m_spInPlaceSite.As(&spSiteEx)))
            spSiteEx->OnInPlaceDeactivateEx(TRUE);
        else
            m_spInPlaceSite->OnInPlaceDeactivate();
    }
    return S_OK;
}

STDMETHODIMP CControlBase::UIDeactivate()
{
    if (!m_bUIActive) return S_OK;
    m_bUIActive = false;
    if (!m_spInPlaceSite) return S_OK;
    HWND hwndParent = nullptr;
    if (m_spInPlaceSite->GetWindow(&hwndParent) == S_OK) {
        ComPtr<IOleInPlaceFrame> spFrame;
        ComPtr<IOleInPlaceUIWindow> spUIWindow;
        RECT rcPos = {}, rcClip = {};
        OLEINPLACEFRAMEINFO frameInfo = {};
        frameInfo.cb = sizeof frameInfo;
        m_spInPlaceSite->GetWindowContext(&spFrame, &spUIWindow, &rcPos, &rcClip, &frameInfo);
        if (spUIWindow) spUIWindow->SetActiveObject(nullptr, nullptr);
        if (spFrame) spFrame->SetActiveObject(nullptr, nullptr);
    }
    m_spInPlaceSite->OnUIDeactivate(FALSE);
    return S_OK;
}

STDMETHODIMP CControlBase::SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect)
{
    if (!lprcPosRect || !lprcClipRect) return E_POINTER;
    m_rcPos = *lprcPosRect;
    HWND hwnd = GetControlWindow();
    if (!hwnd) return S_OK;
    // Clip only when the clip rectangle really cuts something off the control.
    RECT rcVisible = {};
    UniqueGdiObject region;
    if (::IntersectRect(&rcVisible, lprcPosRect, lprcClipRect) && !::EqualRect(&rcVisible, lprcPosRect)) {
        ::OffsetRect(&rcVisible, -lprcPosRect->left, -lprcPosRect->top);
        region.Reset(::CreateRectRgnIndirect(&rcVisible));
    }
    // The window owns the region once it is set.
    if (::SetWindowRgn(hwnd, static_cast<HRGN>(region.Get()), TRUE)) region.Release();
    ::SetWindowPos(hwnd, nullptr, lprcPosRect->left, lprcPosRect->top, lprcPosRect->right - lprcPosRect->left,
                   lprcPosRect->bottom - lprcPosRect->top, SWP_NOZORDER | SWP_NOACTIVATE);
    return S_OK;
}

STDMETHODIMP CControlBase::ReactivateAndUndo()
{
    return E_NOTIMPL;
}

STDMETHODIMP CControlBase::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT*)
{
    // Only a windowless control is sent its messages this way.
    return S_FALSE;
}

STDMETHODIMP CControlBase::GetDropTarget(IDropTarget** ppDropTarget)
{
    if (ppDropTarget) *ppDropTarget = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CControlBase::TranslateAccelerator(LPMSG)
{
    return S_FALSE;
}

STDMETHODIMP CControlBase::OnFrameWindowActivate(BOOL)
{
    return S_OK;
}

STDMETHODIMP CControlBase::OnDocWindowActivate(BOOL fActivate)
{
    if (!fActivate) UIDeactivate();
    return S_OK;
}

STDMETHODIMP CControlBase::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL)
{
    return S_OK;
}

STDMETHODIMP CControlBase::EnableModeless(BOOL)
{
    return S_OK;
}

void CControlBase::SetControlFocus(bool bGrab)
{
    HWND hwnd = GetControlWindow();
    if (hwnd) {
        if (bGrab && ::GetFocus() != hwnd && !::IsChild(hwnd, ::GetFocus())) ::SetFocus(hwnd);
    } else if (m_bWndLess) {
        ComPtr<IOleInPlaceSiteWindowless> spWindowless;
        if (SUCCEEDED(m_spInPlaceSite.As(&spWindowless))) spWindowless->SetFocus(bGrab ? TRUE : FALSE);
    }
}

void CControlBase::OnWindowFocus(bool bGotFocus)
{
    ComPtr<IOleControlSite> spSite;
    if (m_bInPlaceActive && m_spClientSite && SUCCEEDED(m_spClientSite.As(&spSite)))
        spSite->OnFocus(bGotFocus ? TRUE : FALSE);
}

void CControlBase::OnWindowMouseActivate()
{
    // A click UI-activates the control in user mode, and when the container does not tell its mode.
    VARIANT var;
    ::VariantInit(&var);
    const HRESULT hr = GetAmbientProperty(DISPID_AMBIENT_USERMODE, &var);
    const bool bUserMode = FAILED(hr) || var.vt != VT_BOOL || var.boolVal != VARIANT_FALSE;
    ::VariantClear(&var);
    if (!bUserMode) return;
    // Held while it runs: the verb can call out to the container.
    ComPtr<IOleObject> spObject;
    if (SUCCEEDED(GetControllingUnknown()->QueryInterface(IID_PPV_ARGS(&spObject))))
        spObject->DoVerb(OLEIVERB_UIACTIVATE, nullptr, m_spClientSite.Get(), 0, nullptr, nullptr);
}

HRESULT CControlBase::GetAmbientProperty(DISPID dispid, VARIANT* pvar)
{
    if (!pvar) return E_POINTER;
    if (!m_spAmbientDispatch) return E_FAIL;
    DISPPARAMS noArgs = {nullptr, nullptr, 0, 0};
    return m_spAmbientDispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &noArgs, pvar,
                                       nullptr, nullptr);
}

// ---- IOleObject ------------------------------------------------------------------------------

STDMETHODIMP CControlBase::SetClientSite(IOleClientSite* pClientSite)
{
    m_spClientSite = pClientSite;
    m_spAmbientDispatch.Reset();
    if (m_spClientSite) m_spClientSite.As(&m_spAmbientDispatch);
    return S_OK;
}

STDMETHODIMP CControlBase::GetClientSite(IOleClientSite** ppClientSite)
{
    if (!ppClientSite) return E_POINTER;
    *ppClientSite = m_spClientSite.Get();
    if (*ppClientSite) (*ppClientSite)->AddRef();
    return S_OK;
}

STDMETHODIMP CControlBase::SetHostNames(LPCOLESTR, LPCOLESTR)
{
    return S_OK;
}

STDMETHODIMP CControlBase::Close(DWORD dwSaveOption)
{
    if (GetControlWindow() && m_spClientSite) m_spClientSite->OnShowWindow(FALSE);
    if (m_bInPlaceActive) {
        const HRESULT hr = InPlaceDeactivate();
        if (FAILED(hr)) return hr;
    }
    m_window.Destroy();
    if ((dwSaveOption == OLECLOSE_SAVEIFDIRTY || dwSaveOption == OLECLOSE_PROMPTSAVE) && m_bRequiresSave) {
        if (m_spClientSite) m_spClientSite->SaveObject();
        if (m_spOleAdviseHolder) m_spOleAdviseHolder->SendOnSave();
    }
    if (m_spOleAdviseHolder) m_spOleAdviseHolder->SendOnClose();
    m_spInPlaceSite.Reset();
    m_bNegotiatedWnd = false;
    m_bWndLess = false;
    m_bInPlaceSiteEx = false;
    m_spAdviseSink.Reset();
    return S_OK;
}

STDMETHODIMP CControlBase::SetMoniker(DWORD, IMoniker*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CControlBase::GetMoniker(DWORD, DWORD, IMoniker** ppmk)
{
    if (ppmk) *ppmk = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CControlBase::InitFromData(IDataObject*, BOOL, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP CControlBase::GetClipboardData(DWORD, IDataObject** ppDataObject)
{
    if (ppDataObject) *ppDataObject = nullptr;
    return E_NOTIMPL;
}

HRESULT CControlBase::HideInPlace()
{
    UIDeactivate();
    if (GetControlWindow()) ::ShowWindow(GetControlWindow(), SW_HIDE);
    return S_OK;
}

STDMETHODIMP CControlBase::DoVerb(LONG iVerb, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT)
{
    switch (iVerb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
        return InPlaceActivate(iVerb);
    case OLEIVERB_HIDE:
        return HideInPlace();
    case OLEIVERB_PROPERTIES:
    case OLEIVERB_DISCARDUNDOSTATE:
        return S_OK;
    case OLEIVERB_OPEN:
        return E_NOTIMPL;
    default:
        if (iVerb > 0) {
            // An unknown verb of the object's own range runs the primary one.
            const HRESULT hr = InPlaceActivate(OLEIVERB_PRIMARY);
            return FAILED(hr) ? hr : OLEOBJ_S_INVALIDVERB;
        }
        return E_NOTIMPL;
    }
}

STDMETHODIMP CControlBase::Update()
{
    return S_OK;
}

STDMETHODIMP CControlBase::IsUpToDate()
{
    return S_OK;
}

STDMETHODIMP CControlBase::GetUserClassID(CLSID* pClsid)
{
    if (!pClsid) return E_POINTER;
    *pClsid = GetControlClsid();
    return S_OK;
}

STDMETHODIMP CControlBase::SetExtent(DWORD dwDrawAspect, SIZEL* psizel)
{
    if (dwDrawAspect != DVASPECT_CONTENT) return E_FAIL;
    if (!psizel) return E_POINTER;
    if (psizel->cx == m_sizeExtent.cx && psizel->cy == m_sizeExtent.cy) return S_OK;
    // The size is persisted: a new one is something to save.
    m_sizeExtent = *psizel;
    m_bRequiresSave = true;
    SendOnDataChange();
    FireViewChange();
    return S_OK;
}

STDMETHODIMP CControlBase::GetExtent(DWORD dwDrawAspect, SIZEL* psizel)
{
    if (!psizel) return E_POINTER;
    if (dwDrawAspect != DVASPECT_CONTENT) return E_FAIL;
    *psizel = m_sizeExtent;
    return S_OK;
}

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

STDMETHODIMP CControlBase::SetColorScheme(LOGPALETTE*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CControlBase::GetClassID(CLSID* pClassID)
{
    if (!pClassID) return E_POINTER;
    *pClassID = GetControlClsid();
    return S_OK;
}

// ---- IQuickActivate --------------------------------------------------------------------------

STDMETHODIMP CControlBase::QuickActivate(QACONTAINER* pQaContainer, QACONTROL* pQaControl)
{
    if (!pQaContainer || !pQaControl) return E_POINTER;
    // The sizes are the caller's word for how much of each structure exists: nothing beyond what
    // both sides know is read or written.
    if (pQaContainer->cbSize < offsetof(QACONTAINER, pAdviseSink) + sizeof(pQaContainer->pAdviseSink) ||
        pQaControl->cbSize < sizeof(QACONTROL))
        return E_INVALIDARG;
    const ULONG cbControl = pQaControl->cbSize;
    ZeroMemory(pQaControl, sizeof(QACONTROL));
    pQaControl->cbSize = cbControl;

    SetClientSite(pQaContainer->pClientSite);
    if (pQaContainer->pAdviseSink) SetAdvise(DVASPECT_CONTENT, 0, pQaContainer->pAdviseSink);
    // No events and no property notifications: the cookies stay 0.
    static_cast<IOleObject*>(this)->GetMiscStatus(DVASPECT_CONTENT, &pQaControl->dwMiscStatus);
    static_cast<IViewObjectEx*>(this)->GetViewStatus(&pQaControl->dwViewStatus);
    return S_OK;
}

STDMETHODIMP CControlBase::SetContentExtent(LPSIZEL pSizel)
{
    return SetExtent(DVASPECT_CONTENT, pSizel);
}

STDMETHODIMP CControlBase::GetContentExtent(LPSIZEL pSizel)
{
    if (!pSizel) return E_POINTER;
    *pSizel = m_sizeExtent;
    return S_OK;
}

// ---- IDataObject -----------------------------------------------------------------------------

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
