#include "checker/RequestSlot.h"

#include <windows.h>

#include "framework/Handles.h"
#include "framework/MessagePump.h"
#include "framework/Trace.h"

namespace {

// The thread that runs the request; 0 while none does.
volatile LONG s_nOwner = 0;

// Set while this thread runs a request or waits for one, so that a call from the messages it
// takes meanwhile is re-entry, whichever of the two it is doing.
thread_local bool t_bInRequest = false;

// Signalled when a request ends; auto-reset, so one waiter at a time tries for the slot, and a
// signal no one took only makes the next waiter look once more.
HANDLE FreedEvent()
{
    static const UniqueKernelHandle s_event(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    return s_event.Get();
}

}  // namespace

CRequestSlot::CRequestSlot(const char* pszMethod)
{
    if (t_bInRequest) {
        Trace("%s: called from inside this page's running request; nothing is done", pszMethod);
        return;
    }
    t_bInRequest = m_bMarkedThread = true;
    const LONG nSelf = static_cast<LONG>(::GetCurrentThreadId());
    if (::InterlockedCompareExchange(&s_nOwner, nSelf, 0) == 0) {
        m_bHeld = true;
        return;
    }
    HANDLE hFreed = FreedEvent();
    if (!hFreed) {
        Trace("%s: another page's request is running, and no event to wait on could be made; nothing is done",
              pszMethod);
        return;
    }
    Trace("%s: another page's request is running; waiting for it to end", pszMethod);
    while (::InterlockedCompareExchange(&s_nOwner, nSelf, 0) != 0)
        if (!WaitPumpingMessages(hFreed)) {
            Trace("%s: gave up waiting for another page's request; nothing is done", pszMethod);
            return;
        }
    m_bHeld = true;
}

CRequestSlot::~CRequestSlot()
{
    if (m_bHeld) {
        ::InterlockedExchange(&s_nOwner, 0);
        if (HANDLE hFreed = FreedEvent()) ::SetEvent(hFreed);
    }
    if (m_bMarkedThread) t_bInRequest = false;
}
