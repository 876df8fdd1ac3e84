#include "framework/FileFind.h"

bool CFileFind::FindFile(const char* pszName)
{
    m_hFind.Reset(::FindFirstFileA(pszName ? pszName : "", &m_data));
    return m_hFind.IsValid();
}

bool CFileFind::FindNextFile()
{
    return m_hFind.IsValid() && ::FindNextFileA(m_hFind.Get(), &m_data);
}
