// Registry access for the installer: every read and write of the loader's registry record goes
// through here. Reads fill one value buffer that the next read overwrites; no key stays open.
#pragma once

#include <windows.h>

class CRegValue {
public:
    enum { kBufferSize = 1024 };

    CRegValue();
    virtual ~CRegValue();
    CRegValue(const CRegValue&) = delete;
    CRegValue& operator=(const CRegValue&) = delete;

    // Each operation takes the root key, the key path below it (empty for the root itself) and the
    // value name (empty for the key's default value). A null root fails every operation.

    // The value's data as zero-terminated text, valid until the next read; null when the key or
    // the value cannot be read, or the value does not fit the buffer with its terminating zero.
    const char* ReadString(HKEY hRoot, const char* pszKey, const char* pszName);
    // The first four bytes of the value's data as a little-endian signed number, whatever the
    // value's type (a shorter value is taken as if padded with zeros); -1 when it cannot be read.
    int ReadDword(HKEY hRoot, const char* pszKey, const char* pszName);

    // Each creates the key (and the keys above it) when it is missing. 1 when written, else 0.
    int WriteString(HKEY hRoot, const char* pszKey, const char* pszName, const char* pszText);
    int WriteDword(HKEY hRoot, const char* pszKey, const char* pszName, const int* pnValue);
    int WriteBinary(HKEY hRoot, const char* pszKey, const char* pszName, const BYTE* pBytes /* 4 bytes */);

private:
    // Size of the data read into m_buffer, or -1 when the read failed.
    int Read(HKEY hRoot, const char* pszKey, const char* pszName);
    int Write(HKEY hRoot, const char* pszKey, const char* pszName, DWORD dwType, const BYTE* pData, DWORD cbData);

    BYTE m_buffer[kBufferSize];
};
