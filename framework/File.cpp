#include "framework/File.h"

bool CFile::Open(const char* pszFileName, UINT nOpenFlags)
{
    Close();
    DWORD access = GENERIC_READ;
    if (nOpenFlags & modeWrite) access = GENERIC_WRITE;
    if (nOpenFlags & modeReadWrite) access = GENERIC_READ | GENERIC_WRITE;
    const DWORD share = (nOpenFlags & shareDenyNone) ? (FILE_SHARE_READ | FILE_SHARE_WRITE) : FILE_SHARE_READ;
    const DWORD disposition = (nOpenFlags & modeCreate) ? CREATE_ALWAYS : OPEN_EXISTING;
    m_hFile.Reset(::CreateFileA(pszFileName, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    return IsOpen();
}

UINT CFile::Read(void* pBuffer, UINT nCount)
{
    DWORD nRead = 0;
    if (!IsOpen() || !::ReadFile(m_hFile.Get(), pBuffer, nCount, &nRead, nullptr)) return 0;
    return nRead;
}

bool CFile::Write(const void* pBuffer, UINT nCount)
{
    DWORD nWritten = 0;
    return IsOpen() && ::WriteFile(m_hFile.Get(), pBuffer, nCount, &nWritten, nullptr) && nWritten == nCount;
}
