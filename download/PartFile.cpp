#include "download/PartFile.h"

#include <string>
#include <vector>

#include "framework/Trace.h"

bool CPartFile::Create()
{
    Discard();
    std::string folder(m_strTarget.Str());
    const size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
    // GetTempFileNameA writes a path of at most MAX_PATH characters and needs 14 of them itself.
    std::vector<char> name(MAX_PATH + 1);
    if (folder.size() > MAX_PATH - 14 || !::GetTempFileNameA(folder.c_str(), "qxd", 0, name.data())) {
        Trace("download: no file can be made beside %s (error %lu)", m_strTarget.GetString(), ::GetLastError());
        return false;
    }
    m_strPath = name.data();
    if (!m_file.Open(m_strPath, CFile::modeCreate | CFile::modeReadWrite)) {
        Trace("download: %s cannot be opened (error %lu)", m_strPath.GetString(), ::GetLastError());
        Discard();
        return false;
    }
    return true;
}

bool CPartFile::Write(const void* pData, UINT nCount)
{
    if (m_file.Write(pData, nCount)) return true;
    Trace("download: writing %s failed (error %lu)", m_strPath.GetString(), ::GetLastError());
    return false;
}

bool CPartFile::Commit()
{
    m_file.Close();
    if (m_strPath.IsEmpty()) return false;
    if (!::MoveFileExA(m_strPath, m_strTarget, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        Trace("download: %s cannot replace %s (error %lu)", m_strPath.GetString(), m_strTarget.GetString(),
              ::GetLastError());
        Discard();
        return false;
    }
    m_strPath.Empty();
    return true;
}

void CPartFile::Discard()
{
    m_file.Close();
    if (m_strPath.IsEmpty()) return;
    ::DeleteFileA(m_strPath);
    m_strPath.Empty();
}
