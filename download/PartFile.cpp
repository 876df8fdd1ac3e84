#include "download/PartFile.h"

#include <cstddef>
#include <vector>

#include "framework/TextConversion.h"
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
    m_bSealed = false;
    // DELETE: the move goes through this handle.
    m_file.Reset(::CreateFileA(m_strPath, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file) {
        Trace("download: %s cannot be opened (error %lu)", m_strPath.GetString(), ::GetLastError());
        Discard();
        return false;
    }
    return true;
}

bool CPartFile::Write(const void* pData, UINT nCount)
{
    DWORD nWritten = 0;
    if (!m_bSealed && m_file && ::WriteFile(m_file.Get(), pData, nCount, &nWritten, nullptr) && nWritten == nCount)
        return true;
    Trace("download: writing %s failed (error %lu)", m_strPath.GetString(), ::GetLastError());
    return false;
}

size_t CPartFile::ReadAt(ULONGLONG offset, void* pBuffer, size_t nCount) const
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD nRead = 0;
    const DWORD nAsked = nCount > MAXDWORD ? MAXDWORD : static_cast<DWORD>(nCount);
    return m_file && ::ReadFile(m_file.Get(), pBuffer, nAsked, &nRead, &at) ? nRead : 0;
}

ULONGLONG CPartFile::Size() const
{
    LARGE_INTEGER size{};
    return m_file && ::GetFileSizeEx(m_file.Get(), &size) ? static_cast<ULONGLONG>(size.QuadPart) : 0;
}

std::wstring CPartFile::Path() const
{
    return WideFromAnsi(m_strPath);
}

bool CPartFile::Commit()
{
    if (!m_file) return false;
    const std::wstring target = WideFromAnsi(m_strTarget);
    std::vector<BYTE> buffer(offsetof(FILE_RENAME_INFO, FileName) + (target.size() + 1) * sizeof(WCHAR));
    auto* pRename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    pRename->ReplaceIfExists = TRUE;
    pRename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(WCHAR));
    target.copy(pRename->FileName, target.size());
    if (target.empty() || !::SetFileInformationByHandle(m_file.Get(), FileRenameInfo, pRename, static_cast<DWORD>(buffer.size()))) {
        Trace("download: %s cannot replace %s (error %lu)", m_strPath.GetString(), m_strTarget.GetString(),
              ::GetLastError());
        Discard();
        return false;
    }
    m_file.Reset();
    m_strPath.Empty();
    return true;
}

void CPartFile::Discard()
{
    m_file.Reset();
    if (m_strPath.IsEmpty()) return;
    ::DeleteFileA(m_strPath);
    m_strPath.Empty();
}
