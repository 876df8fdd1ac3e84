// What the one watching a download is told, on the thread that runs it. The progress dialog
// watches; the blocking download watches with nobody.
#pragma once

#include <windows.h>

class IDownloadObserver {
public:
    // Data is arriving: the amount so far and the announced total (0 while unknown). The amount
    // is to be shown only when `bShowAmount` (urlmon gave it with a status text).
    virtual void OnDownloadProgress(ULONG ulProgress, ULONG ulProgressMax, bool bShowAmount) = 0;
    // The last bytes have arrived; the file is yet to be judged and put in place.
    virtual void OnDownloadArrived() = 0;
    // The transfer is over; the file stands at its target only when `bSucceeded`.
    virtual void OnDownloadEnded(bool bSucceeded) = 0;

protected:
    ~IDownloadObserver() = default;
};
