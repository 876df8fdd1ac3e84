// The folder checks behind the chooser's OK button: the form of a typed path, the creation of
// the folders it names, and the messages that tell the user what is wrong. Plain logic on 8-bit
// text of the ANSI code page, kept apart from the dialog so that it can be tested by tables.
#pragma once

// How far CheckPath goes.
enum CheckPathMode {
    CHECK_PATH_TEST = 0,    // the form only
    CHECK_PATH_CREATE = 1,  // the form, and every missing folder is made, outermost first
};

// Results of CheckPath.
enum {
    FOLDER_OK = 0,
    FOLDER_INVALID = 1,
    FOLDER_NOT_CREATABLE = 2,
    FOLDER_DECLINED = -1,  // ConfirmFolder only: the user did not want the folder made
};

// One path component: not empty, no tab, space or full stop at either end, none of the
// characters the file system forbids in a name.
bool IsValidFolderName(const char* pszName);

// Whether `pszPath` is an absolute path on a drive letter made of valid folder names; in create
// mode also makes the missing folders. 0 good, 1 invalid, 2 a folder could not be made (the
// folders made before it stay).
int CheckPath(const char* pszPath, CheckPathMode nMode);

// The whole test of a typed folder, with the user: the form, then, for a missing folder, the
// question whether to make it, then its creation. Tells the user about every failure itself.
// 0 usable, 1 invalid, 2 not creatable, -1 the user declined the creation.
int ConfirmFolder(const char* pszPath);
