// The four entry points through which COM and setup tools use the DLL. No C++ exception may
// leave them: the caller is a browser or a setup tool.
#include <windows.h>
#include <unknwn.h>

#include "com/ComGuard.h"
#include "com/Server.h"

STDAPI DllCanUnloadNow()
{
    return ServerCanUnloadNow();
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    return GuardComCall("DllGetClassObject", [&] { return ServerGetClassObject(rclsid, riid, ppv); });
}

STDAPI DllRegisterServer()
{
    return GuardComCall("DllRegisterServer", [] { return ServerRegister(); });
}

STDAPI DllUnregisterServer()
{
    return GuardComCall("DllUnregisterServer", [] { return ServerUnregister(); });
}
