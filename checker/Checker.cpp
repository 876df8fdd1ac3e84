#include "checker/Checker.h"

#include <oleauto.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <new>

#include "checker/BrokerClient.h"
#include "checker/RequestSlot.h"
#include "checker/SiteLock.h"
#include "com/ComGuard.h"
#include "framework/ProcessRights.h"
#include "framework/Trace.h"
#include "framework/WinApp.h"
#include "install/CheckRequest.h"
#include "launch/WorldLaunch.h"
#include "com/ModuleState.h"
#include "com/TypeInfoCache.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kSupportedSafety = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
// Both methods take one address; nothing longer than the platform's longest is one.
constexpr UINT kMaxAddressChars = 2083;

// A page may let go of the control, or the module's last reference, while a call runs its modal
// loops: the object and the DLL stay until the call is over.
class CRunningCall {
public:
    explicit CRunningCall(IUnknown* pObject) : m_pObject(pObject)
    {
        m_pObject->AddRef();
        Module().Lock();
    }
    ~CRunningCall()
    {
        Module().Unlock();
        m_pObject->Release();
    }
    CRunningCall(const CRunningCall&) = delete;
    CRunningCall& operator=(const CRunningCall&) = delete;

private:
    IUnknown* m_pObject;
};

// The lock this module carries, read when a call needs it: the resource is mapped with the module.
bool PermitByThisModulesLock(DWORD dwSafetyOptions, IOleClientSite* pClientSite, CUrlPolicy& urls)
{
    return PermitRequest(dwSafetyOptions, pClientSite, ReadBuiltInSiteLock(AfxGetInstanceHandle()), urls);
}

bool IsAddressSized(BSTR bstr, const char* pszMethod)
{
    if (::SysStringLen(bstr) <= kMaxAddressChars) return true;
    Trace("%s: the address is longer than %u characters; nothing is done", pszMethod, kMaxAddressChars);
    return false;
}

// The page's window: the one the broker's boxes belong to. Null when the control is not in place.
HWND PageWindow(IOleInPlaceSite* pInPlaceSite)
{
    HWND hWnd = nullptr;
    if (!pInPlaceSite || FAILED(pInPlaceSite->GetWindow(&hWnd))) return nullptr;
    return hWnd;
}

// In Protected Mode the control writes nothing itself: whatever it wrote would land in IE's
// private copies, where no other program looks. The broker does the request, or nothing happens.
bool MustUseBroker(const char* pszMethod)
{
    TraceProcessContext(pszMethod);
    if (!IsProtectedModeProcess()) return false;
    Trace("%s: Protected Mode: the request goes to the broker", pszMethod);
    return true;
}

}  // namespace

// ---- creation and identity -------------------------------------------------------------------

HRESULT CChecker::CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    CChecker* pChecker = new (std::nothrow) CChecker(pOuter);
    if (!pChecker) return E_OUTOFMEMORY;
    // Hold the object while it is asked, so a failed question destroys it.
    pChecker->m_innerUnknown.AddRef();
    const HRESULT hr = pChecker->m_innerUnknown.QueryInterface(riid, ppv);
    pChecker->m_innerUnknown.Release();
    return hr;
}

void CChecker::ObjectMain(bool) {}

CChecker::CChecker(IUnknown* pOuter)
    : m_innerUnknown(this), m_pControllingUnknown(pOuter ? pOuter : &m_innerUnknown)
{
    Module().Lock();
    InitControlState();
}

CChecker::~CChecker()
{
    Module().Unlock();
}

HRESULT CChecker::InternalQueryInterface(REFIID riid, void** ppv)
{
    // An aggregate's inner object answers IUnknown with its own, non-delegating identity.
    if (riid == IID_IUnknown && m_pControllingUnknown != &m_innerUnknown) {
        if (!ppv) return E_POINTER;
        *ppv = static_cast<IUnknown*>(&m_innerUnknown);
        m_innerUnknown.AddRef();
        return S_OK;
    }
    // Looked up in this order; IUnknown is answered with the first entry, IChecker.
    static const QITAB kInterfaces[] = {
        QITABENT(CChecker, IChecker),
        QITABENTMULTI(CChecker, IDispatch, IChecker),
        QITABENT(CChecker, IViewObjectEx),
        QITABENTMULTI(CChecker, IViewObject2, IViewObjectEx),
        QITABENTMULTI(CChecker, IViewObject, IViewObjectEx),
        QITABENT(CChecker, IOleInPlaceObjectWindowless),
        QITABENTMULTI(CChecker, IOleInPlaceObject, IOleInPlaceObjectWindowless),
        QITABENTMULTI(CChecker, IOleWindow, IOleInPlaceObjectWindowless),
        QITABENT(CChecker, IOleInPlaceActiveObject),
        QITABENT(CChecker, IOleControl),
        QITABENT(CChecker, IOleObject),
        QITABENT(CChecker, IPersistStreamInit),
        QITABENTMULTI(CChecker, IPersist, IPersistStreamInit),
        QITABENT(CChecker, ISpecifyPropertyPages),
        QITABENT(CChecker, IQuickActivate),
        QITABENT(CChecker, IPersistStorage),
        QITABENT(CChecker, IDataObject),
        QITABENTMULTI(CChecker, IProvideClassInfo, IProvideClassInfo2),
        QITABENT(CChecker, IProvideClassInfo2),
        QITABENT(CChecker, IObjectSafety),
        {nullptr, 0},
    };
    return ::QISearch(this, kInterfaces, riid, ppv);
}

STDMETHODIMP CChecker::CInnerUnknown::QueryInterface(REFIID riid, void** ppv)
{
    return m_pOwner->InternalQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CChecker::CInnerUnknown::AddRef()
{
    return ++m_pOwner->m_cRef;
}

STDMETHODIMP_(ULONG) CChecker::CInnerUnknown::Release()
{
    const ULONG cRef = --m_pOwner->m_cRef;
    if (cRef == 0) delete m_pOwner;
    return cRef;
}

STDMETHODIMP CChecker::QueryInterface(REFIID riid, void** ppv)
{
    return m_pControllingUnknown->QueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CChecker::AddRef()
{
    return m_pControllingUnknown->AddRef();
}

STDMETHODIMP_(ULONG) CChecker::Release()
{
    return m_pControllingUnknown->Release();
}

// ---- IDispatch -------------------------------------------------------------------------------

STDMETHODIMP CChecker::GetTypeInfoCount(UINT* pctinfo)
{
    if (!pctinfo) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}

STDMETHODIMP CChecker::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo)
{
    if (!ppTInfo) return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    return GuardComCall("GetTypeInfo", [&] { return GetRegisteredTypeInfo(IID_IChecker, lcid, ppTInfo); });
}

STDMETHODIMP CChecker::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return GuardComCall("GetIDsOfNames", [&] {
        ComPtr<ITypeInfo> typeInfo;
        const HRESULT hr = GetRegisteredTypeInfo(IID_IChecker, lcid, &typeInfo);
        if (FAILED(hr)) return hr;
        return ::DispGetIDsOfNames(typeInfo.Get(), rgszNames, cNames, rgDispId);
    });
}

STDMETHODIMP CChecker::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                              VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return GuardComCall("Invoke", [&] {
        ComPtr<ITypeInfo> typeInfo;
        const HRESULT hr = GetRegisteredTypeInfo(IID_IChecker, lcid, &typeInfo);
        if (FAILED(hr)) return hr;
        return ::DispInvoke(static_cast<IChecker*>(this), typeInfo.Get(), dispIdMember, wFlags, pDispParams,
                            pVarResult, pExcepInfo, puArgErr);
    });
}

// ---- IChecker --------------------------------------------------------------------------------

STDMETHODIMP CChecker::Check(BSTR bstrLoaderInfo, LONG* bOk)
{
    // Automation always passes the result's place; a direct caller may not.
    if (!bOk) return E_POINTER;
    // The outcome goes only through bOk: always 1 or 0, never VARIANT_TRUE. Whatever goes wrong
    // inside, the page hears 0 and the call itself succeeds.
    *bOk = 0;
    CRunningCall running(m_pControllingUnknown);
    GuardComCall("Check", [&] {
        CRequestSlot slot("Check");
        CUrlPolicy urls;
        if (!slot.IsHeld() || !IsAddressSized(bstrLoaderInfo, "Check") ||
            !PermitByThisModulesLock(m_dwSafety, m_spClientSite.Get(), urls))
            return S_OK;
        if (!MustUseBroker("Check")) {
            *bOk = RunCheckRequest(bstrLoaderInfo, InstallSystem::Platform(), urls);
            return S_OK;
        }
        const HWND hPage = PageWindow(m_spInPlaceSite.Get());
        const int nOutcome = RunThroughBroker(false, NamePage(m_spClientSite.Get()), bstrLoaderInfo, hPage);
        if (nOutcome < 0) ::MessageBoxA(hPage, "전체설치 실패", "Error", MB_OK | MB_ICONEXCLAMATION);
        *bOk = nOutcome == 1 ? 1 : 0;
        return S_OK;
    });
    return S_OK;
}

STDMETHODIMP CChecker::Launch(BSTR bstrURL)
{
    CRunningCall running(m_pControllingUnknown);
    GuardComCall("Launch", [&] {
        CRequestSlot slot("Launch");
        WorldLaunchOptions options = DefaultWorldLaunchOptions();
        if (!slot.IsHeld() || !IsAddressSized(bstrURL, "Launch") ||
            !PermitByThisModulesLock(m_dwSafety, m_spClientSite.Get(), options.urls))
            return S_OK;
        // A failed launch shows nothing, through the broker or not.
        if (MustUseBroker("Launch"))
            RunThroughBroker(true, NamePage(m_spClientSite.Get()), bstrURL, PageWindow(m_spInPlaceSite.Get()));
        else
            LaunchWorld(bstrURL, options);
        return S_OK;
    });
    return S_OK;
}

// ---- IProvideClassInfo2 ----------------------------------------------------------------------

STDMETHODIMP CChecker::GetClassInfo(ITypeInfo** ppTI)
{
    if (!ppTI) return E_POINTER;
    *ppTI = nullptr;
    return GuardComCall("GetClassInfo", [&] { return GetRegisteredTypeInfo(CLSID_Checker, LOCALE_USER_DEFAULT, ppTI); });
}

STDMETHODIMP CChecker::GetGUID(DWORD, GUID* pGUID)
{
    if (!pGUID) return E_POINTER;
    // No outgoing interface, whatever kind of GUID is asked for.
    *pGUID = GUID_NULL;
    return E_FAIL;
}

// ---- IObjectSafety ---------------------------------------------------------------------------

STDMETHODIMP CChecker::GetInterfaceSafetyOptions(REFIID riid, DWORD* pdwSupportedOptions, DWORD* pdwEnabledOptions)
{
    if (!pdwSupportedOptions || !pdwEnabledOptions) return E_POINTER;
    ComPtr<IUnknown> asked;
    const HRESULT hr = QueryInterface(riid, reinterpret_cast<void**>(asked.GetAddressOf()));
    if (FAILED(hr)) {
        *pdwSupportedOptions = 0;
        *pdwEnabledOptions = 0;
        return hr;
    }
    *pdwSupportedOptions = kSupportedSafety;
    *pdwEnabledOptions = m_dwSafety;
    return S_OK;
}

STDMETHODIMP CChecker::SetInterfaceSafetyOptions(REFIID riid, DWORD dwOptionSetMask, DWORD dwEnabledOptions)
{
    ComPtr<IUnknown> asked;
    if (FAILED(QueryInterface(riid, reinterpret_cast<void**>(asked.GetAddressOf())))) return E_NOINTERFACE;
    if (dwOptionSetMask & ~kSupportedSafety) return E_FAIL;
    m_dwSafety = (m_dwSafety & ~dwOptionSetMask) | (dwEnabledOptions & dwOptionSetMask);
    return S_OK;
}
