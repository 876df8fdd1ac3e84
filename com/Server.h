// The generic part of an in-process COM server's four entry points, over the module's class
// table: class objects, the unload rule, and all-or-nothing registration.
#pragma once

#include <windows.h>
#include <unknwn.h>

HRESULT ServerCanUnloadNow();
HRESULT ServerGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
HRESULT ServerRegister();
HRESULT ServerUnregister();
