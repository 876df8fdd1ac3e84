// The DLL's entry point: the platform's load and unload become the application object's hooks.
#include <windows.h>

#include "framework/WinApp.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    switch (dwReason) {
    case DLL_PROCESS_ATTACH:
        ::DisableThreadLibraryCalls(hInstance);
        return AfxDllAttach(hInstance);
    case DLL_PROCESS_DETACH:
        AfxDllDetach();
        break;
    default:
        break;
    }
    return TRUE;
}
