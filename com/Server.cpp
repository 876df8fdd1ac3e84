#include "com/Server.h"

#include "com/ModuleState.h"
#include "com/Registrar.h"

namespace {

void UnregisterClasses()
{
    for (ClassRow* pRow = Module().GetClassTable(); pRow && pRow->pclsid; ++pRow) pRow->updateRegistry(FALSE);
}

}  // namespace

HRESULT ServerCanUnloadNow()
{
    return Module().GetLockCount() == 0 ? S_OK : S_FALSE;
}

HRESULT ServerGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    CModuleState& module = Module();
    for (ClassRow* pRow = module.GetClassTable(); pRow && pRow->pclsid; ++pRow) {
        if (*pRow->pclsid != rclsid) continue;
        if (!pRow->pFactory) {
            CCriticalSectionLock lock(module.m_csClassTable);
            // Another thread may have made it while this one waited for the lock.
            if (!pRow->pFactory) {
                const HRESULT hr = pRow->createFactory(pRow->createInstance, IID_IUnknown,
                                                       reinterpret_cast<void**>(&pRow->pFactory));
                if (FAILED(hr)) return hr;
            }
        }
        return pRow->pFactory->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

// All or nothing: a class whose registration or type library failed is taken out again, so that
// no half-registered class points at a module that cannot serve it.
HRESULT ServerRegister()
{
    HRESULT hr = S_OK;
    for (ClassRow* pRow = Module().GetClassTable(); pRow && pRow->pclsid && SUCCEEDED(hr); ++pRow)
        hr = pRow->updateRegistry(TRUE);
    if (SUCCEEDED(hr)) hr = RegisterTypeLibrary();
    if (FAILED(hr)) UnregisterClasses();
    return hr;
}

HRESULT ServerUnregister()
{
    UnregisterClasses();
    UnregisterTypeLibrary();
    return S_OK;
}
