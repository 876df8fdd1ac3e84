// Self-registration: the class's registry entries from the module's registry script, and the
// type library that the module carries.
#pragma once

#include <windows.h>

// Runs the registry script (resource "REGISTRY" 103) forward to register, backward to
// unregister, with %MODULE% standing for the module's short path.
HRESULT UpdateRegistryFromScript(BOOL bRegister);
// Registers the type library embedded in the module (or the .tlb beside it).
HRESULT RegisterTypeLibrary();
// Removes the type library's registration; whatever cannot be found stays.
void UnregisterTypeLibrary();
