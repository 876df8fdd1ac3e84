// Type information from the registered type library, loaded once per process and kept until the
// module ends. Taken from the registry rather than the module file: a control whose type library
// is not registered cannot be scripted, and says so with the lookup's error.
#pragma once

#include <windows.h>
#include <oaidl.h>

// The type information of `guid` (IChecker or the Checker class); the caller gets a reference.
HRESULT GetRegisteredTypeInfo(REFGUID guid, LCID lcid, ITypeInfo** ppTypeInfo);
