#include "framework/MessagePump.h"

#include "framework/Trace.h"

bool PumpMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to take: the thread's own loop must see it.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return true;
}

bool WaitPumpingMessages(HANDLE hObject)
{
    for (;;) {
        const DWORD dwWait = ::MsgWaitForMultipleObjectsEx(1, &hObject, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (dwWait == WAIT_OBJECT_0) return true;
        if (dwWait != WAIT_OBJECT_0 + 1) {
            Trace("waiting while taking messages failed (result %lu, error %lu)", dwWait, ::GetLastError());
            return false;
        }
        if (!PumpMessages()) {
            Trace("the thread was told to quit while it waited");
            return false;
        }
    }
}
