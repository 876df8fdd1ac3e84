// The calling thread's messages, taken while it waits: a page's thread that stops taking them
// freezes the page and every window of its process that waits on it.
#pragma once

#include <windows.h>

// Dispatches every message the thread has; false when it met WM_QUIT, which it posts again for
// the thread's own loop to see.
bool PumpMessages();

// Waits for `hObject` while dispatching the thread's messages; false (traced) when the thread is
// told to quit or the wait fails.
bool WaitPumpingMessages(HANDLE hObject);
