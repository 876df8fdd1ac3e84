// The bytes of a download on their way to the target: a file of its own beside the target (so
// that the move into place stays on one volume), moved over the target only when the whole file
// is there, and discarded otherwise, at the latest with its owner.
#pragma once

#include <windows.h>

#include "framework/CString.h"
#include "framework/File.h"

class CPartFile {
public:
    explicit CPartFile(const char* pszTarget) : m_strTarget(pszTarget) {}
    ~CPartFile() { Discard(); }
    CPartFile(const CPartFile&) = delete;
    CPartFile& operator=(const CPartFile&) = delete;

    // Makes and opens the file; false (traced) when none can be made in the target's folder.
    bool Create();
    // Whether every byte was written.
    bool Write(const void* pData, UINT nCount);
    // Closes the file and moves it over the target; false (traced, the file discarded) when the
    // move fails. Afterwards nothing is left to discard.
    bool Commit();
    // Closes and deletes the file; fine when there is none.
    void Discard();
    // Closes the file and keeps it, so nothing more can be written.
    void Close() { m_file.Close(); }

    const CString& Target() const { return m_strTarget; }

private:
    CString m_strTarget;
    CString m_strPath;  // empty while there is no file
    CFile m_file;
};
