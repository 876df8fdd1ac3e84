// In-place and UI activation through the site, the verbs, the window and the focus.
#include "control/ControlBase.h"

#include <olectl.h>

#include "framework/Handles.h"

using Microsoft::WRL::ComPtr;

namespace {

bool DoesVerbUIActivate(LONG iVerb)
{
    return iVerb == OLEIVERB_PRIMARY || iVerb == OLEIVERB_SHOW || iVerb == OLEIVERB_UIACTIVATE || iVerb > 0;
}

}  // namespace

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
    HRESULT hr = NegotiateInPlaceSite();
    if (SUCCEEDED(hr)) hr = EnterInPlaceActive();
    if (FAILED(hr)) return hr;

    InPlaceWindowContext context;
    HWND hwndParent = nullptr;
    if (m_spInPlaceSite->GetWindow(&hwndParent) == S_OK) {
        // A site that cannot say where the control goes, or a window that cannot be made, leaves
        // the control inactive rather than half active.
        hr = GetInPlaceWindowContext(context);
        if (SUCCEEDED(hr)) hr = ShowInPlaceWindow(hwndParent, context);
        if (FAILED(hr)) {
            InPlaceDeactivate();
            return hr;
        }
    }
    if (DoesVerbUIActivate(iVerb) && !m_bUIActive) {
        hr = UIActivate(context);
        if (FAILED(hr)) return hr;
    }
    m_spClientSite->ShowObject();
    return S_OK;
}

// Which in-place site the container offers, asked once: windowless (only when the control may
// go without a window), extended, or plain.
HRESULT CControlBase::NegotiateInPlaceSite()
{
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
    return S_OK;
}

// Tells the site the control goes in-place active, with its consent where the site is plain.
HRESULT CControlBase::EnterInPlaceActive()
{
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
    return S_OK;
}

HRESULT CControlBase::GetInPlaceWindowContext(InPlaceWindowContext& context)
{
    OLEINPLACEFRAMEINFO frameInfo = {};
    frameInfo.cb = sizeof frameInfo;
    return m_spInPlaceSite->GetWindowContext(&context.spFrame, &context.spUIWindow, &context.rcPos, &context.rcClip,
                                             &frameInfo);
}

// The control's window where the site puts it: shown again, or made the first time.
HRESULT CControlBase::ShowInPlaceWindow(HWND hwndParent, const InPlaceWindowContext& context)
{
    if (!m_bWndLess) {
        if (GetControlWindow()) {
            ::ShowWindow(GetControlWindow(), SW_SHOW);
            SetControlFocus(true);
        } else if (!m_window.Create(hwndParent, context.rcPos)) {
            return E_FAIL;
        }
    }
    SetObjectRects(&context.rcPos, &context.rcClip);
    return S_OK;
}

// The control becomes the active object of the frame and the document window, and takes the focus.
HRESULT CControlBase::UIActivate(const InPlaceWindowContext& context)
{
    m_bUIActive = true;
    const HRESULT hr = m_spInPlaceSite->OnUIActivate();
    if (FAILED(hr)) {
        m_bUIActive = false;
        return hr;
    }
    SetControlFocus(true);
    ComPtr<IOleInPlaceActiveObject> spActive;
    GetControllingUnknown()->QueryInterface(IID_PPV_ARGS(&spActive));
    if (context.spFrame) {
        context.spFrame->SetActiveObject(spActive.Get(), nullptr);
        context.spFrame->SetBorderSpace(nullptr);
    }
    if (context.spUIWindow) {
        context.spUIWindow->SetActiveObject(spActive.Get(), nullptr);
        context.spUIWindow->SetBorderSpace(nullptr);
    }
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
        InPlaceWindowContext context;
        GetInPlaceWindowContext(context);
        if (context.spUIWindow) context.spUIWindow->SetActiveObject(nullptr, nullptr);
        if (context.spFrame) context.spFrame->SetActiveObject(nullptr, nullptr);
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
