#include "module/CheckerApp.h"

#include "checker/Checker.h"
#include "com/ClassFactory.h"
#include "com/ModuleState.h"
#include "com/Registrar.h"
#include "module/BrokerPolicy.h"
#include "qxChecker.h"
#include "resources/resource.h"

CCheckerApp theApp;

namespace {

// The class and, with it, the policy that lets its broker out of Protected Mode: one is of no
// use without the other.
HRESULT UpdateCheckerRegistry(BOOL bRegister)
{
    const HRESULT hr = RunRegistryScript(IDR_CHECKER, bRegister);
    if (FAILED(hr) && bRegister) return hr;
    const HRESULT hrPolicy = UpdateBrokerPolicy(bRegister);
    return FAILED(hr) ? hr : hrPolicy;
}

// The module's one creatable class; the empty row ends the table.
ClassRow g_classTable[] = {
    {&CLSID_Checker, UpdateCheckerRegistry, CClassFactory::Create, CChecker::CreateInstance, nullptr, 0, nullptr,
     CChecker::ObjectMain},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr},
};

}  // namespace

BOOL CCheckerApp::InitInstance()
{
    Module().Init(g_classTable, m_hInstance, &LIBID_QXCHECKERLib);
    return CWinApp::InitInstance();
}

int CCheckerApp::ExitInstance()
{
    Module().Term();
    return CWinApp::ExitInstance();
}
