#include "com/ClassFactory.h"

#include <shlwapi.h>

#include <new>

HRESULT CClassFactory::Create(CreateInstanceFn pfnCreateInstance, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    CClassFactory* pFactory = new (std::nothrow) CClassFactory(pfnCreateInstance);
    if (!pFactory) return E_OUTOFMEMORY;
    pFactory->AddRef();
    const HRESULT hr = pFactory->QueryInterface(riid, ppv);
    pFactory->Release();
    return hr;
}

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** ppv)
{
    static const QITAB kInterfaces[] = {
        QITABENT(CClassFactory, IClassFactory),
        {nullptr, 0},
    };
    return ::QISearch(this, kInterfaces, riid, ppv);
}

// The module's own cached reference is the first; a second one means an outside holder.
STDMETHODIMP_(ULONG) CClassFactory::AddRef()
{
    CCriticalSectionLock lock(m_cs);
    const LONG cRef = ::InterlockedIncrement(&m_cRef);
    if (cRef == 2) Module().Lock();
    return static_cast<ULONG>(cRef);
}

STDMETHODIMP_(ULONG) CClassFactory::Release()
{
    LONG cRef;
    {
        CCriticalSectionLock lock(m_cs);
        cRef = ::InterlockedDecrement(&m_cRef);
        if (cRef == 1) Module().Unlock();
    }
    if (cRef == 0) delete this;
    return static_cast<ULONG>(cRef);
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    // An aggregate may only ask its inner object for its own IUnknown.
    if (pOuter && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    return m_pfnCreateInstance(pOuter, riid, ppv);
}

STDMETHODIMP CClassFactory::LockServer(BOOL fLock)
{
    if (fLock)
        Module().Lock();
    else
        Module().Unlock();
    return S_OK;
}
