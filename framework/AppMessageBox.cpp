#include "framework/AppMessageBox.h"

#include "framework/WinApp.h"

int AfxMessageBox(const char* pszText, UINT nType)
{
    // The framework picks the icon when the caller names none: a question for yes/no boxes,
    // the exclamation mark for OK boxes.
    if ((nType & MB_ICONMASK) == 0) {
        const UINT buttons = nType & MB_TYPEMASK;
        if (buttons == MB_OK || buttons == MB_OKCANCEL) nType |= MB_ICONEXCLAMATION;
        else if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) nType |= MB_ICONQUESTION;
    }
    // Owned by the window the user is working in, so the box stays in front of it.
    HWND hOwner = ::GetActiveWindow();
    if (hOwner) hOwner = ::GetLastActivePopup(hOwner);
    const CString title = AfxGetAppName();
    return ::MessageBoxA(hOwner, pszText ? pszText : "", title, nType);
}
