// The framework's file search; the system uses it as its existence test: a folder or a file is
// present when a search for its exact path finds an entry.
#pragma once

#include <windows.h>

#include "framework/CString.h"
#include "framework/Handles.h"

class CFileFind {
public:
    CFileFind() = default;

    // Starts a search; true when it found at least one entry.
    bool FindFile(const char* pszName);
    // Moves to the next entry; false when there is none.
    bool FindNextFile();
    CString GetFileName() const { return CString(m_data.cFileName); }
    bool IsDirectory() const { return (m_data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    void Close() { m_hFind.Reset(); }

private:
    UniqueFindHandle m_hFind;
    WIN32_FIND_DATAA m_data{};
};
