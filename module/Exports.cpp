// The four entry points through which COM and setup tools use the DLL.
#include <windows.h>
#include <unknwn.h>

#include "framework/ComGuard.h"
#include "module/ModuleState.h"
#include "module/Registration.h"

namespace {

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
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

void UnregisterClasses()
{
    for (ClassRow* pRow = Module().GetClassTable(); pRow && pRow->pclsid; ++pRow) pRow->updateRegistry(FALSE);
}

// All or nothing: a class whose registration or type library failed is taken out again, so that
// no half-registered class points at a module that cannot serve it.
HRESULT RegisterServer()
{
    HRESULT hr = S_OK;
    for (ClassRow* pRow = Module().GetClassTable(); pRow && pRow->pclsid && SUCCEEDED(hr); ++pRow)
        hr = pRow->updateRegistry(TRUE);
    if (SUCCEEDED(hr)) hr = RegisterTypeLibrary();
    if (FAILED(hr)) UnregisterClasses();
    return hr;
}

}  // namespace

STDAPI DllCanUnloadNow()
{
    return Module().GetLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    return GuardComCall("DllGetClassObject", [&] { return GetClassObject(rclsid, riid, ppv); });
}

STDAPI DllRegisterServer()
{
    return GuardComCall("DllRegisterServer", [] { return RegisterServer(); });
}

STDAPI DllUnregisterServer()
{
    return GuardComCall("DllUnregisterServer", [] {
        UnregisterClasses();
        UnregisterTypeLibrary();
        return S_OK;
    });
}
