// The update description file ("temp.ini"): read once, parsed into entries kept in file order,
// and walked with a single cursor.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "description/DescriptionEntry.h"
#include "framework/CString.h"

class CDescriptionFile {
public:
    CDescriptionFile();
    virtual ~CDescriptionFile();
    CDescriptionFile(const CDescriptionFile&) = delete;
    CDescriptionFile& operator=(const CDescriptionFile&) = delete;

    // Reads the file (its first 4096 bytes) and appends its entries to those already held.
    // False, after the application message box has told the user, when the file cannot be read;
    // then nothing is added.
    bool Load(CString strPath);

    // The first entry, placing the cursor on it; null when there are none.
    const CDescriptionEntry* GetFirst();
    // The entry after the cursor; null without a GetFirst before, and once the last was passed.
    const CDescriptionEntry* GetNext();

    // How many entries the table holds.
    int GetCount() const { return static_cast<int>(m_entries.size()); }

protected:
    // Turns m_pText into entries appended to m_entries, then releases the text.
    void Parse();

private:
    using EntryMap = std::map<int, std::unique_ptr<CDescriptionEntry>>;

    std::unique_ptr<std::string> m_pText;
    // Its root and key are the current section, which a second Load parses on in.
    CDescriptionEntry m_current;
    // Keyed by the position at which each entry was added.
    EntryMap m_entries;
    EntryMap::iterator m_cursor;
    bool m_bHasCursor = false;
};
