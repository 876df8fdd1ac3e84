#include "module/CheckerApp.h"

#include "checker/Checker.h"
#include "module/ClassFactory.h"
#include "module/ModuleState.h"
#include "module/Registration.h"
#include "qxChecker.h"

CCheckerApp theApp;

namespace {

// The module's one creatable class; the empty row ends the table.
ClassRow g_classTable[] = {
    {&CLSID_Checker, UpdateRegistryFromScript, CClassFactory::Create, CChecker::CreateInstance, nullptr, 0, nullptr,
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
