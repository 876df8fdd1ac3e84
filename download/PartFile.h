// The bytes of a download on their way to the target: a file of its own beside the target (so
// that the move into place stays on one volume), moved over the target only when the whole file
// is there, and discarded otherwise, at the latest with its owner. The file is held open, shared
// with no one, from its making to its move, and moved through that very handle: the bytes that
// were checked are the bytes that take the target's place, whoever else can write to the folder.
#pragma once

#include <windows.h>

#include <string>

#include "framework/CString.h"
#include "framework/Handles.h"

class CPartFile {
public:
    explicit CPartFile(const char* pszTarget) : m_strTarget(pszTarget) {}
    ~CPartFile() { Discard(); }
    CPartFile(const CPartFile&) = delete;
    CPartFile& operator=(const CPartFile&) = delete;

    // Makes and opens the file; false (traced) when none can be made in the target's folder.
    bool Create();
    // Whether every byte was written; none is, once sealed.
    bool Write(const void* pData, UINT nCount);
    // Reads up to `nCount` bytes from `offset` of what was written; how many, 0 on failure.
    size_t ReadAt(ULONGLONG offset, void* pBuffer, size_t nCount) const;
    // How many bytes the file holds.
    ULONGLONG Size() const;
    // Moves the file over the target; false (traced, the file discarded) when the move fails.
    // Afterwards nothing is left to discard.
    bool Commit();
    // Deletes the file; fine when there is none.
    void Discard();
    // Nothing more is written; the file stays, held, for its checks and its move.
    void Seal() { m_bSealed = true; }

    // The open file and its path, for checks that read it whole (until Commit or Discard).
    HANDLE Handle() const { return m_file.Get(); }
    std::wstring Path() const;
    const CString& Target() const { return m_strTarget; }

private:
    CString m_strTarget;
    CString m_strPath;  // empty while there is no file
    UniqueFileHandle m_file;
    bool m_bSealed = false;
};
