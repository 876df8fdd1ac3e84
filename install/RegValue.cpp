#include "install/RegValue.h"

#include <cstring>

#include "framework/Handles.h"
#include "framework/Trace.h"

namespace {

const char* OrEmpty(const char* psz)
{
    return psz ? psz : "";
}

// An opened key. An empty key path may hand back the root itself, which is not ours to close.
class OpenedKey {
public:
    explicit OpenedKey(HKEY hRoot) : m_hRoot(hRoot) {}
    ~OpenedKey()
    {
        if (m_key.Get() == m_hRoot) m_key.Release();
    }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    HKEY Get() const { return m_key.Get(); }
    PHKEY Put() { return m_key.Put(); }

private:
    HKEY m_hRoot;
    UniqueRegKey m_key;
};

}  // namespace

CRegValue::CRegValue()
{
    std::memset(m_buffer, 0, sizeof m_buffer);
}

CRegValue::~CRegValue() = default;

int CRegValue::Read(HKEY hRoot, const char* pszKey, const char* pszName)
{
    if (!hRoot) return -1;
    OpenedKey key(hRoot);
    if (::RegOpenKeyExA(hRoot, OrEmpty(pszKey), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return -1;
    DWORD dwType = 0;
    DWORD cbData = sizeof m_buffer;
    // A value larger than the buffer fails here and so counts as missing.
    if (::RegQueryValueExA(key.Get(), OrEmpty(pszName), nullptr, &dwType, m_buffer, &cbData) != ERROR_SUCCESS)
        return -1;
    return cbData > sizeof m_buffer ? -1 : static_cast<int>(cbData);
}

const char* CRegValue::ReadString(HKEY hRoot, const char* pszKey, const char* pszName)
{
    const int cbData = Read(hRoot, pszKey, pszName);
    if (cbData < 0) return nullptr;
    // The platform does not promise a terminating zero: a string stored without one gets one
    // here, and one that fills the whole buffer without it has no room for one and is unreadable.
    if (cbData < kBufferSize) {
        m_buffer[cbData] = 0;
    } else if (std::memchr(m_buffer, 0, kBufferSize) == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<const char*>(m_buffer);
}

int CRegValue::ReadDword(HKEY hRoot, const char* pszKey, const char* pszName)
{
    const int cbData = Read(hRoot, pszKey, pszName);
    if (cbData < 0) return -1;
    // Bytes that the value does not have would otherwise be left over from an earlier read.
    for (int i = cbData; i < 4; ++i) m_buffer[i] = 0;
    DWORD dwValue = static_cast<DWORD>(m_buffer[0]) | (static_cast<DWORD>(m_buffer[1]) << 8) |
                    (static_cast<DWORD>(m_buffer[2]) << 16) | (static_cast<DWORD>(m_buffer[3]) << 24);
    return static_cast<int>(dwValue);
}

int CRegValue::Write(HKEY hRoot, const char* pszKey, const char* pszName, DWORD dwType, const BYTE* pData,
                     DWORD cbData)
{
    if (!hRoot || !pData) return 0;
    OpenedKey key(hRoot);
    LONG rc = ::RegOpenKeyA(hRoot, OrEmpty(pszKey), key.Put());
    if (rc != ERROR_SUCCESS) rc = ::RegCreateKeyA(hRoot, OrEmpty(pszKey), key.Put());
    if (rc == ERROR_SUCCESS) rc = ::RegSetValueExA(key.Get(), OrEmpty(pszName), 0, dwType, pData, cbData);
    if (rc != ERROR_SUCCESS) {
        Trace("registry: writing \"%.100s\" under \"%.200s\" failed (error %ld)", OrEmpty(pszName), OrEmpty(pszKey), rc);
        return 0;
    }
    return 1;
}

int CRegValue::WriteString(HKEY hRoot, const char* pszKey, const char* pszName, const char* pszText)
{
    const char* text = OrEmpty(pszText);
    return Write(hRoot, pszKey, pszName, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>(std::strlen(text) + 1));
}

int CRegValue::WriteDword(HKEY hRoot, const char* pszKey, const char* pszName, const int* pnValue)
{
    return Write(hRoot, pszKey, pszName, REG_DWORD, reinterpret_cast<const BYTE*>(pnValue), 4);
}

int CRegValue::WriteBinary(HKEY hRoot, const char* pszKey, const char* pszName, const BYTE* pBytes)
{
    return Write(hRoot, pszKey, pszName, REG_BINARY, pBytes, 4);
}
