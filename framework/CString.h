// The framework's owning 8-bit string: text in the system ANSI code page, never a fixed buffer.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

class CString {
public:
    CString() = default;
    CString(const char* psz) : m_str(psz ? psz : "") {}  // NOLINT: converts like the framework's
    CString(const char* pch, size_t nLength) : m_str(pch ? std::string(pch, nLength) : std::string()) {}
    explicit CString(std::string str) : m_str(std::move(str)) {}

    CString& operator=(const char* psz) {
        m_str = psz ? psz : "";
        return *this;
    }
    CString& operator+=(const CString& other) {
        m_str += other.m_str;
        return *this;
    }
    CString& operator+=(const char* psz) {
        if (psz) m_str += psz;
        return *this;
    }
    CString& operator+=(char ch) {
        m_str += ch;
        return *this;
    }

    operator const char*() const { return m_str.c_str(); }  // NOLINT: the framework's LPCTSTR
    const char* GetString() const { return m_str.c_str(); }
    const std::string& Str() const { return m_str; }

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    char GetAt(int nIndex) const { return m_str.at(static_cast<size_t>(nIndex)); }

    // printf rules; the result is as long as it needs to be.
    void Format(const char* pszFormat, ...);
    void FormatV(const char* pszFormat, va_list args);

    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator!=(const CString& a, const CString& b) { return a.m_str != b.m_str; }
    friend bool operator==(const CString& a, const char* b) { return a.m_str == (b ? b : ""); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend CString operator+(CString a, const CString& b) { return a += b; }
    friend CString operator+(CString a, const char* b) { return a += b; }
    friend CString operator+(const char* a, const CString& b) { return CString(a) += b; }

private:
    std::string m_str;
};
