// The application message box: captioned with the application title; an OK box gets the
// exclamation icon, as the framework gives it.
#pragma once

#include <windows.h>

int AfxMessageBox(const char* pszText, UINT nType = MB_OK);
