// IE's elevation policy for the broker: with it, IE starts qxBroker.exe from the DLL's folder at
// medium integrity, without asking, when a page's low-integrity process starts it (Policy 3).
// Nothing else is listed, and unregistering removes exactly this one key.
#pragma once

#include <windows.h>

// HKEY_LOCAL_MACHINE\kBrokerPolicyKey: the registration's root, as the class's own keys are.
extern const char kBrokerPolicyKey[];

HRESULT UpdateBrokerPolicy(BOOL bRegister);
