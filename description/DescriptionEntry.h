// One entry of the update description: a name-value line, or a section header that had none.
#pragma once

#include "framework/CString.h"

class CDescriptionEntry {
public:
    CDescriptionEntry() = default;
    virtual ~CDescriptionEntry();

    CString m_strRoot;   // the header's text before its first backslash, trimmed
    CString m_strKey;    // the header's text after its first backslash, trimmed
    CString m_strName;   // empty for a header without values
    CString m_strValue;  // empty for a header without values
    // REG_SZ, REG_BINARY or REG_DWORD, by the character after "="; REG_SZ for a header without
    // values.
    int m_nType = 0;
};
