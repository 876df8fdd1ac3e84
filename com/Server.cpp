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

// What was written before a failure stays: taking it out again would also take out the working
// registration an upgrade was writing over, leaving the machine with no control at all.
HRESULT ServerRegister()
{
    HRESULT hr = S_OK;
    for (ClassRow* pRow = Module().GetClassTable(); pRow && pRow->pclsid && SUCCEEDED(hr); ++pRow)
        hr = pRow->updateRegistry(TRUE);
    if (SUCCEEDED(hr)) hr = RegisterTypeLibrary();
    return hr;
}

HRESULT ServerUnregister()
{
    UnregisterClasses();
    UnregisterTypeLibrary();
    return S_OK;
}
