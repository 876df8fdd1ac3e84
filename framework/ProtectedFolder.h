// Folders the installer makes hold the program that the document type starts: other local users
// must not be able to swap it or plant a DLL beside it, wherever the folder is (a folder made in
// a drive's root would otherwise inherit the root's "everyone may create" entries).
#pragma once

// Makes one folder (its parent must exist) with a protected DACL: its owner, Administrators and
// SYSTEM have full control, Users may read and execute; nothing is inherited from above. As
// CreateDirectoryA: true when made, false (with the error) otherwise, also when it already exists.
bool CreateProtectedFolder(const char* pszPath);
