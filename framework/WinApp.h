// The application object: one per module, with the start and stop hooks the module runs at load
// and unload, and the module's instance handle and title that windows, resources and the
// application message box use.
#pragma once

#include <windows.h>

#include "framework/CString.h"

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    HINSTANCE m_hInstance = nullptr;
    // The module's file name without its extension.
    CString m_strAppName;
};

// The module's application object, or null in a program that has none (the test programs).
CWinApp* AfxGetApp();
// The module whose resources the framework loads: the DLL once it is attached, else the program.
HINSTANCE AfxGetInstanceHandle();
// The title of application message boxes.
CString AfxGetAppName();

// The module's entry point hands the platform's load and unload to the application object.
BOOL AfxDllAttach(HINSTANCE hInstance);
void AfxDllDetach();

// The file name of a module without folder and extension ("qxChecker" for "...\qxChecker.DLL").
CString AfxModuleTitle(HMODULE hModule);
// The full path of a module, however long it is.
CString AfxModulePath(HMODULE hModule);
