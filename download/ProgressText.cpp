#include "download/ProgressText.h"

CString FormatSizeText(unsigned long ulProgress, unsigned long ulProgressMax)
{
    const unsigned long ulShown = ulProgress > ulProgressMax ? ulProgress : ulProgressMax;
    CString text;
    text.Format("%dK / %dK", static_cast<int>(ulProgress >> 10), static_cast<int>(ulShown >> 10));
    return text;
}

int ProgressBarPosition(unsigned long ulProgress, unsigned long ulProgressMax)
{
    if (ulProgressMax == 0) return 0;
    // Each step rounded to a double, as the share is defined: the x87 unit would otherwise keep
    // extra precision and turn 29 of 100 into 29 instead of 28.
    volatile double share = static_cast<double>(ulProgress) / static_cast<double>(ulProgressMax);
    volatile double percent = share * 100.0;
    // More than announced is a full bar; converting a share far past it would be undefined.
    if (percent >= 100.0) return 100;
    return static_cast<int>(percent);
}
