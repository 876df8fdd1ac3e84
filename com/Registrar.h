// Self-registration of an in-process server: a class's registry entries from a registry script
// the module carries, and the type library that the module carries.
#pragma once

#include <windows.h>

// Runs the registry script (resource "REGISTRY" `nResourceId` of the module) forward to register,
// backward to unregister, with %MODULE% standing for the module's short path.
HRESULT RunRegistryScript(UINT nResourceId, BOOL bRegister);
// Registers the type library embedded in the module (or the .tlb beside it).
HRESULT RegisterTypeLibrary();
// Removes the type library's registration; whatever cannot be found stays.
void UnregisterTypeLibrary();
