// The framework's file: one open file, closed with its owner.
#pragma once

#include <windows.h>

#include "framework/Handles.h"

class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,  // create, or truncate an existing file
    };

    CFile() = default;

    bool Open(const char* pszFileName, UINT nOpenFlags);
    // Bytes actually read; 0 at the end of the file or on an error.
    UINT Read(void* pBuffer, UINT nCount);
    // Whether every byte was written.
    bool Write(const void* pBuffer, UINT nCount);
    void Close() { m_hFile.Reset(); }
    bool IsOpen() const { return m_hFile.IsValid(); }
    HANDLE GetHandle() const { return m_hFile.Get(); }

private:
    UniqueFileHandle m_hFile;
};
