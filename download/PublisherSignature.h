// Whether a program comes from the publisher: its Authenticode signature verifies, the signer's
// certificate chain passes the Authenticode chain policy up to a root this machine trusts, and the
// signer's certificate is one of those pinned in the build (its SHA-256 thumbprint). Whoever only
// controls a server (the description and the loader beside it) cannot make all three hold.
// Revocation is not checked: the control must work offline and behind proxies, and a check that
// cannot reach the revocation servers would refuse every loader there.
#pragma once

#include <windows.h>

#include <vector>

#include "download/Sha256.h"
#include "framework/CString.h"

// `hFile`: the open file, which is what is read (`pszPath` only names it). False, with the
// reason in `why`, unless all three hold; an empty pin list allows no signer.
bool IsSignedByPinnedPublisher(HANDLE hFile, const wchar_t* pszPath, const std::vector<Sha256Digest>& pins,
                               CString& why);
