#include "module/CheckerApp.h"

CCheckerApp theApp;

BOOL CCheckerApp::InitInstance()
{
    return CWinApp::InitInstance();
}

int CCheckerApp::ExitInstance()
{
    return CWinApp::ExitInstance();
}
