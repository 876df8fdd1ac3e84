#include "checker/RequestSlot.h"

#include <windows.h>

#include "framework/MessagePump.h"
#include "framework/Trace.h"

namespace {

// Made at first use and race-free without the C++ runtime's guards for local statics and its
// thread_local, which would bring its POSIX thread library into every page's process: a thread
// that loses the race to make one drops its own.
volatile LONG s_nOwner = 0;  // the thread that runs the request; 0 while none does
HANDLE volatile s_hFreed = nullptr;  // signalled when a request ends (auto-reset: one waiter tries)
volatile LONG s_nInRequestSlot = static_cast<LONG>(TLS_OUT_OF_INDEXES);

// Owns the two with the module.
struct CSlotResources {
    ~CSlotResources()
    {
        if (s_hFreed) ::CloseHandle(s_hFreed);
        if (s_nInRequestSlot != static_cast<LONG>(TLS_OUT_OF_INDEXES)) ::TlsFree(static_cast<DWORD>(s_nInRequestSlot));
    }
} s_resources;

HANDLE FreedEvent()
{
    if (HANDLE hFreed = s_hFreed) return hFreed;
    HANDLE hFresh = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (hFresh && ::InterlockedCompareExchangePointer(&s_hFreed, hFresh, nullptr) != nullptr) ::CloseHandle(hFresh);
    return s_hFreed;
}

// The thread-local slot whose value is set while this thread runs a request or waits for one, so
// that a call from the messages it takes meanwhile is re-entry, whichever of the two it is doing.
DWORD InRequestSlot()
{
    const LONG nSlot = s_nInRequestSlot;
    if (nSlot != static_cast<LONG>(TLS_OUT_OF_INDEXES)) return static_cast<DWORD>(nSlot);
    const DWORD dwFresh = ::TlsAlloc();
    if (dwFresh == TLS_OUT_OF_INDEXES) return dwFresh;
    const LONG nEarlier = ::InterlockedCompareExchange(&s_nInRequestSlot, static_cast<LONG>(dwFresh),
                                                       static_cast<LONG>(TLS_OUT_OF_INDEXES));
    if (nEarlier == static_cast<LONG>(TLS_OUT_OF_INDEXES)) return dwFresh;
    ::TlsFree(dwFresh);
    return static_cast<DWORD>(nEarlier);
}

}  // namespace

CRequestSlot::CRequestSlot(const char* pszMethod)
{
    const DWORD dwSlot = InRequestSlot();
    HANDLE hFreed = FreedEvent();
    if (dwSlot == TLS_OUT_OF_INDEXES || !hFreed) {
        Trace("%s: no thread slot or event for the request guard (error %lu); nothing is done", pszMethod,
              ::GetLastError());
        return;
    }
    if (::TlsGetValue(dwSlot)) {
        Trace("%s: called from inside this page's running request; nothing is done", pszMethod);
        return;
    }
    ::TlsSetValue(dwSlot, this);
    m_bMarkedThread = true;
    const LONG nSelf = static_cast<LONG>(::GetCurrentThreadId());
    if (::InterlockedCompareExchange(&s_nOwner, nSelf, 0) != 0) {
        Trace("%s: another page's request is running; waiting for it to end", pszMethod);
        while (::InterlockedCompareExchange(&s_nOwner, nSelf, 0) != 0)
            if (!WaitPumpingMessages(hFreed)) {
                Trace("%s: gave up waiting for another page's request; nothing is done", pszMethod);
                return;
            }
    }
    m_bHeld = true;
}

CRequestSlot::~CRequestSlot()
{
    if (m_bHeld) {
        ::InterlockedExchange(&s_nOwner, 0);
        ::SetEvent(s_hFreed);
    }
    if (m_bMarkedThread) ::TlsSetValue(static_cast<DWORD>(s_nInRequestSlot), nullptr);
}
