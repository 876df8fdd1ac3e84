// The Checker control: the object a page creates and scripts through IChecker. It can live alone
// or as the inner object of an aggregate; its identity is its IChecker pointer.
#pragma once

#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>

#include "control/ControlBase.h"
#include "qxChecker.h"

// mingw's objsafe.h declares the interface without tying its IID to the type.
#ifndef QX_OBJECTSAFETY_UUID_DECLARED
#define QX_OBJECTSAFETY_UUID_DECLARED
__CRT_UUID_DECL(IObjectSafety, 0xCB5BDC81, 0x93C1, 0x11CF, 0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64)
#endif

class CChecker final : public IChecker, public CControlBase, public IProvideClassInfo2, public IObjectSafety {
public:
    // The class table's instance maker: a plain object without an outer object, else an
    // aggregated inner one. The new object is asked for `riid` and destroyed when it lacks it.
    static HRESULT CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv);
    // The class table's start and stop hook: there is nothing to start or stop.
    static void ObjectMain(bool bStarting);

    // IUnknown, delegating to the controlling unknown (the outer object when aggregated)
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch, through the registered type information of IChecker
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // IChecker
    STDMETHODIMP Check(BSTR bstrLoaderInfo, LONG* bOk) override;
    STDMETHODIMP Launch(BSTR bstrURL) override;

    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** ppTI) override;
    STDMETHODIMP GetGUID(DWORD dwGuidKind, GUID* pGUID) override;

    // IObjectSafety: one set of options for the whole object. Untrusted-caller safety turns on the
    // site lock for Check and Launch.
    STDMETHODIMP GetInterfaceSafetyOptions(REFIID riid, DWORD* pdwSupportedOptions,
                                           DWORD* pdwEnabledOptions) override;
    STDMETHODIMP SetInterfaceSafetyOptions(REFIID riid, DWORD dwOptionSetMask, DWORD dwEnabledOptions) override;

    // IViewObjectEx
    STDMETHODIMP GetViewStatus(DWORD* pdwStatus) override;
    STDMETHODIMP QueryHitPoint(DWORD dwAspect, LPCRECT pRectBounds, POINT ptlLoc, LONG lCloseHint,
                               DWORD* pHitResult) override;
    STDMETHODIMP QueryHitRect(DWORD dwAspect, LPCRECT pRectBounds, LPCRECT pRectLoc, LONG lCloseHint,
                              DWORD* pHitResult) override;
    STDMETHODIMP GetNaturalExtent(DWORD dwAspect, LONG lindex, DVTARGETDEVICE* ptd, HDC hicTargetDev,
                                  DVEXTENTINFO* pExtentInfo, LPSIZEL pSizel) override;

    // IOleControl: no mnemonics, no ambient properties of interest, no events to hold back.
    STDMETHODIMP GetControlInfo(CONTROLINFO* pCI) override;
    STDMETHODIMP OnMnemonic(MSG* pMsg) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID dispID) override;
    STDMETHODIMP FreezeEvents(BOOL bFreeze) override;

    // IOleObject: what the registry says of the class.
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) override;
    STDMETHODIMP GetUserType(DWORD dwFormOfType, LPOLESTR* pszUserType) override;
    STDMETHODIMP GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) override;

    // IPersistStreamInit and IPersistStorage: the size, behind a version word.
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(LPSTREAM pStm) override;
    STDMETHODIMP Save(LPSTREAM pStm, BOOL fClearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* pCbSize) override;
    STDMETHODIMP InitNew() override;
    STDMETHODIMP InitNew(IStorage* pStg) override;
    STDMETHODIMP Load(IStorage* pStg) override;
    STDMETHODIMP Save(IStorage* pStgSave, BOOL fSameAsLoad) override;
    STDMETHODIMP SaveCompleted(IStorage* pStgNew) override;
    STDMETHODIMP HandsOffStorage() override;

    // ISpecifyPropertyPages: none.
    STDMETHODIMP GetPages(CAUUID* pPages) override;

protected:
    // CControlBase
    IUnknown* GetControllingUnknown() override { return m_pControllingUnknown; }
    const CLSID& GetControlClsid() const override { return CLSID_Checker; }
    HRESULT OnDraw(HDC hdc, const RECT& rcBounds) override;

private:
    // The object's own IUnknown: the identity an aggregate holds, and the real reference count.
    class CInnerUnknown final : public IUnknown {
    public:
        explicit CInnerUnknown(CChecker* pOwner) : m_pOwner(pOwner) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;

    private:
        CChecker* m_pOwner;
    };

    explicit CChecker(IUnknown* pOuter);
    ~CChecker();
    CChecker(const CChecker&) = delete;
    CChecker& operator=(const CChecker&) = delete;

    HRESULT InternalQueryInterface(REFIID riid, void** ppv);
    // The control's starting size and its window-only rule.
    void InitControlState();

    CInnerUnknown m_innerUnknown;
    IUnknown* m_pControllingUnknown;  // the outer object, or m_innerUnknown; never owned
    ULONG m_cRef = 0;                 // one apartment: a plain counter
    DWORD m_dwSafety = 0;
    LONG m_nFreezeEvents = 0;
};
