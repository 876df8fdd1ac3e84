// The form of a folder path as the user types it: plain rules on 8-bit text of the ANSI code
// page, free of windows.h, so that they build natively and can be fed any bytes.
#pragma once

// Results of the folder checks.
enum {
    FOLDER_OK = 0,
    FOLDER_INVALID = 1,
    FOLDER_NOT_CREATABLE = 2,
    FOLDER_DECLINED = -1,  // ConfirmFolder only: the user did not want the folder made
};

// A chosen folder must leave room for the file names put into it within the platform's path
// limit (MAX_PATH with its zero); the edit box is read with that limit too.
constexpr unsigned kMaxFolderPathBytes = 259;

// One path component: not empty, no tab, space or full stop at either end, none of the
// characters the file system forbids in a name.
bool IsValidFolderName(const char* pszName);

// Whether `pszPath` is an absolute path on a drive letter ("C:\" and folder names, no trailing
// backslash, at most kMaxFolderPathBytes bytes): FOLDER_OK or FOLDER_INVALID.
int CheckPathForm(const char* pszPath);

// Whether a recorded install directory names a folder on a drive of this machine, as Windows
// itself would take it: "X:\" and names, at most kMaxFolderPathBytes bytes, a trailing backslash
// allowed. Refused: shares, device and "\\?\" forms, relative and drive-relative paths, and the
// names Windows refuses (empty, ending in a full stop or a blank, holding a control byte or one of
// "*/:<>?\|, or a device's name such as NUL or COM1). Unlike a typed folder's, a name may begin
// with a full stop or a blank (".config"): Windows makes such folders.
bool IsLocalFolderPath(const char* pszPath);
