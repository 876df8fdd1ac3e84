// The module's application object: constructed by the DLL's static initialisation, started when
// the platform attaches the DLL to a process and ended when it detaches it.
#pragma once

#include "framework/WinApp.h"

class CCheckerApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;
};

extern CCheckerApp theApp;
