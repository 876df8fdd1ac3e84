// Where this process runs and what it may write, found at each request: a page's process may be
// IE's Protected Mode (low integrity, its writes quietly virtualized into private copies) or a
// standard user's (medium integrity, denied Program Files and the machine's classes). Rights are
// found by trying, never from the token's look: only a try tells what this machine allows.
#pragma once

#include <windows.h>

// The process token's mandatory integrity level (a SECURITY_MANDATORY_*_RID); the medium level
// where the platform has none (before Vista) or cannot tell.
DWORD ProcessIntegrityRid();

// Protected Mode: IE's own answer (IEIsProtectedModeProcess of the ieframe.dll already in the
// process; none there, as in every host that is not IE, means no) or an integrity level below
// medium, so a low-integrity host that is not IE counts alike. The environment variable
// QX_FORCE_PROTECTED_MODE=1 makes the answer yes, never no: where Protected Mode does not exist
// (Wine), it shows what the control does there; it can only make the control more cautious.
bool IsProtectedModeProcess();

// Whether files can be made in `pszFolder`, by making one that is gone when its handle closes.
// A folder that does not exist yet is tried by making it and removing it again; its parent must
// exist. Nothing is left behind either way.
bool CanWriteFolder(const char* pszFolder);

// Whether values and subkeys can be written at `pszKey` below `hRoot`: the key, or its nearest
// existing parent, opened for KEY_CREATE_SUB_KEY | KEY_SET_VALUE, an access check that writes
// nothing. `samView` adds a registry view (KEY_WOW64_*), or 0.
bool CanWriteKey(HKEY hRoot, const char* pszKey, REGSAM samView = 0);

// One trace line: what the process is, as the request's choices will use it.
void TraceProcessContext(const char* pszMethod);
