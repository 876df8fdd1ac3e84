// The COM boundary: no C++ exception may leave a COM method or an export, since the caller (a
// browser) has no way to take one and dies of it. Methods whose work can throw run inside this.
#pragma once

#include <windows.h>

#include <new>

#include "framework/Trace.h"

// Runs `body` (which answers an HRESULT) and turns an exception into E_OUTOFMEMORY for an
// exhausted allocation, else E_UNEXPECTED. Objects the body made are unwound on the way out.
template <class Body>
HRESULT GuardComCall(const char* pszWhere, Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        Trace("%s: out of memory", pszWhere);
        return E_OUTOFMEMORY;
    } catch (...) {
        Trace("%s: unexpected exception", pszWhere);
        return E_UNEXPECTED;
    }
}
