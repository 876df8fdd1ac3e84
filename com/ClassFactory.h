// The class factory of a class row: takes part in the module lock only while someone outside
// the module holds it, so the cached factory alone never keeps the DLL loaded.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "com/ModuleState.h"

class CClassFactory final : public IClassFactory {
public:
    using CreateInstanceFn = HRESULT (*)(IUnknown* pOuter, REFIID riid, void** ppv);

    // Matches ClassRow::createFactory.
    static HRESULT Create(CreateInstanceFn pfnCreateInstance, REFIID riid, void** ppv);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

private:
    explicit CClassFactory(CreateInstanceFn pfnCreateInstance) : m_pfnCreateInstance(pfnCreateInstance) {}
    ~CClassFactory() = default;

    CreateInstanceFn m_pfnCreateInstance;
    volatile LONG m_cRef = 0;
    CCriticalSection m_cs;
};
