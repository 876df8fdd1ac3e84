// The standard behaviour of an OLE control, for a COM class to build on: the client site and the
// in-place site, in-place and UI activation, focus, the advise holders, extent negotiation,
// drawing through IViewObject::Draw with the context prepared, rendering for IDataObject, and quick
// activation. The class that derives from it answers QueryInterface and the reference counting, and
// supplies what is its own: its class id, its drawing step, its persistence and view particulars.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>
#include <wrl/client.h>

#include "control/ControlWindow.h"

class CControlBase : public IViewObjectEx,
                     public IOleInPlaceObjectWindowless,
                     public IOleInPlaceActiveObject,
                     public IOleControl,
                     public IOleObject,
                     public IPersistStreamInit,
                     public ISpecifyPropertyPages,
                     public IQuickActivate,
                     public IPersistStorage,
                     public IDataObject,
                     protected CControlWindowHandler {
public:
    // IViewObject: the bounds are turned into device units of `hdcDraw`, whose state is saved
    // around the drawing step; a metafile context is drawn into as it is.
    STDMETHODIMP Draw(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd, HDC hdcTargetDev,
                      HDC hdcDraw, LPCRECTL lprcBounds, LPCRECTL lprcWBounds,
                      BOOL(STDMETHODCALLTYPE* pfnContinue)(ULONG_PTR dwContinue), ULONG_PTR dwContinue) override;
    STDMETHODIMP GetColorSet(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd,
                             HDC hicTargetDev, LOGPALETTE** ppColorSet) override;
    STDMETHODIMP Freeze(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DWORD* pdwFreeze) override;
    STDMETHODIMP Unfreeze(DWORD dwFreeze) override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) override;
    STDMETHODIMP GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) override;
    // IViewObject2
    STDMETHODIMP GetExtent(DWORD dwDrawAspect, LONG lindex, DVTARGETDEVICE* ptd, LPSIZEL lpsizel) override;
    // IViewObjectEx: GetViewStatus, the hit tests and GetNaturalExtent belong to the control.
    STDMETHODIMP GetRect(DWORD dwAspect, LPRECTL pRect) override;

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) override;
    // IOleInPlaceObject
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) override;
    STDMETHODIMP ReactivateAndUndo() override;
    // IOleInPlaceObjectWindowless
    STDMETHODIMP OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* plResult) override;
    STDMETHODIMP GetDropTarget(IDropTarget** ppDropTarget) override;

    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG lpmsg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL fActivate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL fActivate) override;
    STDMETHODIMP ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow, BOOL fFrameWindow) override;
    STDMETHODIMP EnableModeless(BOOL fEnable) override;

    // IOleObject: user type, misc status and verbs belong to the control.
    STDMETHODIMP SetClientSite(IOleClientSite* pClientSite) override;
    STDMETHODIMP GetClientSite(IOleClientSite** ppClientSite) override;
    STDMETHODIMP SetHostNames(LPCOLESTR szContainerApp, LPCOLESTR szContainerObj) override;
    STDMETHODIMP Close(DWORD dwSaveOption) override;
    STDMETHODIMP SetMoniker(DWORD dwWhichMoniker, IMoniker* pmk) override;
    STDMETHODIMP GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) override;
    STDMETHODIMP InitFromData(IDataObject* pDataObject, BOOL fCreation, DWORD dwReserved) override;
    STDMETHODIMP GetClipboardData(DWORD dwReserved, IDataObject** ppDataObject) override;
    STDMETHODIMP DoVerb(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, LONG lindex, HWND hwndParent,
                        LPCRECT lprcPosRect) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* pClsid) override;
    STDMETHODIMP SetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP GetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    STDMETHODIMP Unadvise(DWORD dwConnection) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** ppenumAdvise) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* pLogpal) override;

    // IPersist
    STDMETHODIMP GetClassID(CLSID* pClassID) override;

    // IQuickActivate
    STDMETHODIMP QuickActivate(QACONTAINER* pQaContainer, QACONTROL* pQaControl) override;
    STDMETHODIMP SetContentExtent(LPSIZEL pSizel) override;
    STDMETHODIMP GetContentExtent(LPSIZEL pSizel) override;

    // IDataObject: the content as a metafile picture or an enhanced metafile of the current extent.
    STDMETHODIMP GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;
    STDMETHODIMP GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) override;
    STDMETHODIMP QueryGetData(FORMATETC* pformatetc) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) override;
    STDMETHODIMP SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) override;
    STDMETHODIMP EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) override;
    STDMETHODIMP DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    STDMETHODIMP DUnadvise(DWORD dwConnection) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** ppenumAdvise) override;

    bool IsInPlaceActive() const { return m_bInPlaceActive; }
    bool IsUIActive() const { return m_bUIActive; }

protected:
    CControlBase();
    virtual ~CControlBase();
    CControlBase(const CControlBase&) = delete;
    CControlBase& operator=(const CControlBase&) = delete;

    // The controlling unknown: what the control's own interfaces are asked through, and what it
    // hands to sinks as the sender.
    virtual IUnknown* GetControllingUnknown() = 0;
    virtual const CLSID& GetControlClsid() const = 0;
    // The control's drawing step, into a context prepared by the caller, over `rcBounds` in its
    // units.
    virtual HRESULT OnDraw(HDC hdc, const RECT& rcBounds) = 0;

    // Activates in place (and, for the verbs that ask for it, UI-activates) through the client site.
    HRESULT InPlaceActivate(LONG iVerb);
    // Asks the view to redraw: the window when there is one, else the view advise sink.
    void FireViewChange();
    void SendOnDataChange();
    // Reads an ambient property through the client site's IDispatch.
    HRESULT GetAmbientProperty(DISPID dispid, VARIANT* pvar);
    HWND GetControlWindow() const { return m_window.GetHwnd(); }

    // The site and the sinks.
    Microsoft::WRL::ComPtr<IOleClientSite> m_spClientSite;
    Microsoft::WRL::ComPtr<IOleInPlaceSite> m_spInPlaceSite;
    Microsoft::WRL::ComPtr<IDispatch> m_spAmbientDispatch;
    Microsoft::WRL::ComPtr<IAdviseSink> m_spAdviseSink;
    Microsoft::WRL::ComPtr<IOleAdviseHolder> m_spOleAdviseHolder;
    Microsoft::WRL::ComPtr<IDataAdviseHolder> m_spDataAdviseHolder;
    DWORD m_dwViewAdviseAspects = 0;
    DWORD m_dwViewAdviseFlags = 0;

    SIZEL m_sizeExtent = {0, 0};   // HIMETRIC
    SIZEL m_sizeNatural = {0, 0};  // HIMETRIC
    RECT m_rcPos = {};             // in the container's window, from SetObjectRects

    bool m_bWindowOnly = false;    // never negotiate windowless activation
    bool m_bRequiresSave = false;
    bool m_bInPlaceActive = false;
    bool m_bUIActive = false;
    bool m_bWndLess = false;
    bool m_bNegotiatedWnd = false;
    bool m_bInPlaceSiteEx = false;

private:
    // Where the site puts the control, and the frame and document windows around it.
    struct InPlaceWindowContext {
        Microsoft::WRL::ComPtr<IOleInPlaceFrame> spFrame;
        Microsoft::WRL::ComPtr<IOleInPlaceUIWindow> spUIWindow;
        RECT rcPos = {};
        RECT rcClip = {};
    };

    // The steps of in-place activation.
    HRESULT NegotiateInPlaceSite();
    HRESULT EnterInPlaceActive();
    HRESULT GetInPlaceWindowContext(InPlaceWindowContext& context);
    HRESULT ShowInPlaceWindow(HWND hwndParent, const InPlaceWindowContext& context);
    HRESULT UIActivate(const InPlaceWindowContext& context);

    // CControlWindowHandler
    void OnWindowPaint(HDC hdc, const RECT& rcClient) override;
    void OnWindowFocus(bool bGotFocus) override;
    void OnWindowMouseActivate() override;

    // The context preparation around OnDraw.
    HRESULT DrawAdvanced(HDC hdcDraw, const RECTL& rclBounds);
    HRESULT RenderMetafilePict(STGMEDIUM* pmedium);
    HRESULT RenderEnhMetafile(STGMEDIUM* pmedium);
    void SetControlFocus(bool bGrab);
    HRESULT HideInPlace();

    CControlWindow m_window;
};
