// Windows' places for one user, where a user without administrator rights installs and where
// Windows redirects an old program's writes to its own folder.
#pragma once

#include "framework/CString.h"

// The per-user install root: %LOCALAPPDATA%\Programs\Activeworlds (FOLDERID_UserProgramFiles);
// empty (traced) when the platform names no such folder.
CString PerUserInstallRoot();

// Where Windows' file virtualization keeps a standard user's copy of a file that an old program
// without a manifest writes under a protected folder:
// %LOCALAPPDATA%\VirtualStore\<the path without its drive>. Empty when the path has no drive or
// the user's folder is not known.
CString VirtualStorePath(const char* pszMachinePath);

// Makes `pszPath` and every folder above it that is missing; the last one with the protected
// descriptor (ProtectedFolder.h). True when it is there at the end.
bool MakeFolderPath(const char* pszPath);
