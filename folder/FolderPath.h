// The folder checks behind the chooser's OK button: the form of a typed path, the creation of
// the folders it names, and the messages that tell the user what is wrong. Plain logic on 8-bit
// text of the ANSI code page, kept apart from the dialog so that it can be tested by tables.
#pragma once

#include "folder/FolderPathForm.h"

// How far CheckPath goes.
enum CheckPathMode {
    CHECK_PATH_TEST = 0,    // the form only
    CHECK_PATH_CREATE = 1,  // the form, and every missing folder is made, outermost first
};

// Whether `pszPath` is an absolute path on a drive letter made of valid folder names; in create
// mode also makes the missing folders. 0 good, 1 invalid, 2 a folder could not be made (the
// folders made before it stay).
int CheckPath(const char* pszPath, CheckPathMode nMode);

// The whole test of a typed folder, with the user: the form, then, for a missing folder, the
// question whether to make it, then its creation. Tells the user about every failure itself.
// 0 usable, 1 invalid, 2 not creatable, -1 the user declined the creation.
int ConfirmFolder(const char* pszPath);
