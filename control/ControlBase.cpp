// The control's site, its IOleObject housekeeping, its size and quick activation.
#include "control/ControlBase.h"

#include <oleauto.h>
#include <olectl.h>

using Microsoft::WRL::ComPtr;

CControlBase::CControlBase() : m_window(*this) {}

CControlBase::~CControlBase()
{
    // The window calls back into this object; it goes first.
    m_window.Destroy();
}

HRESULT CControlBase::GetAmbientProperty(DISPID dispid, VARIANT* pvar)
{
    if (!pvar) return E_POINTER;
    if (!m_spAmbientDispatch) return E_FAIL;
    DISPPARAMS noArgs = {nullptr, nullptr, 0, 0};
    return m_spAmbientDispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &noArgs, pvar,
                                       nullptr, nullptr);
}

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
