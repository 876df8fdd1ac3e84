// The control's side of the broker: where its own process must write nothing (Protected Mode),
// a request is handed to qxBroker.exe beside the DLL, waited for with the page's messages taken,
// and its outcome taken back.
#pragma once

#include <windows.h>
#include <wtypes.h>

#include "checker/SiteLock.h"

// The broker's exit code (BrokerExit), or -1 (traced) when it cannot be started or its outcome
// cannot be read. `hOwner` is the page's window, or null.
int RunThroughBroker(bool bLaunch, const PageName& page, BSTR bstrArgument, HWND hOwner);
