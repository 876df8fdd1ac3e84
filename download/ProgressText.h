// What the progress dialog shows of a transfer: pure arithmetic, free of windows.h, so that it
// builds natively and is tested without Wine.
#pragma once

#include "framework/CString.h"

// The size text while data arrives: whole KiB so far, and of the larger of the amount so far and
// the announced total.
CString FormatSizeText(unsigned long ulProgress, unsigned long ulProgressMax);
// The progress bar's position: the share in per cent, truncated, at most 100; 0 while the total
// is unknown.
int ProgressBarPosition(unsigned long ulProgress, unsigned long ulProgressMax);
