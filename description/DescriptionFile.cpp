#include "description/DescriptionFile.h"

#include <windows.h>

#include <exception>
#include <vector>

#include "description/DescriptionParser.h"
#include "framework/AppMessageBox.h"
#include "framework/File.h"
#include "framework/Trace.h"

static_assert(description::kTypeString == REG_SZ, "entry types are the registry's");
static_assert(description::kTypeBinary == REG_BINARY, "entry types are the registry's");
static_assert(description::kTypeDword == REG_DWORD, "entry types are the registry's");

namespace {

// How long a second attempt to open the file waits when the first one raised.
const DWORD kReopenDelayMs = 2000;

description::LeadByteSet SystemLeadBytes()
{
    const UINT codePage = ::GetACP();
    return description::LeadByteSet::FromPredicate(
        [codePage](unsigned char b) { return ::IsDBCSLeadByteEx(codePage, b) != FALSE; });
}

}  // namespace

CDescriptionFile::CDescriptionFile() : m_cursor(m_entries.end()) {}

CDescriptionFile::~CDescriptionFile()
{
    for (auto& numbered : m_entries) numbered.second.reset();
}

bool CDescriptionFile::Load(CString strPath)
{
    // The read buffer: the bytes, the line feed put after them and a terminating NUL.
    std::vector<char> buffer(description::kMaxTextBytes + 2, '\0');
    DWORD nRead = 0;
    bool bRead = false;
    {
        CFile file;
        // A file that is not there or not free fails at once (the read below says so); only an
        // open that raises, the system short of memory, is tried once more after a pause.
        try {
            file.Open(strPath, CFile::modeRead);
        } catch (const std::exception& e) {
            Trace("description: opening %s raised (%s); trying again", strPath.GetString(), e.what());
            ::Sleep(kReopenDelayMs);
            file.Open(strPath, CFile::modeRead);
        }
        // Read through the handle: the framework's Read cannot tell a failed read from an empty file.
        bRead = file.IsOpen() &&
                ::ReadFile(file.GetHandle(), buffer.data(), static_cast<DWORD>(description::kMaxTextBytes), &nRead,
                           nullptr) != FALSE;
    }
    if (!bRead) {
        Trace("description: %s cannot be read (error %lu)", strPath.GetString(), ::GetLastError());
        AfxMessageBox("파싱 파일을 읽지 못했습니다.", MB_OK);
        return false;
    }
    m_pText = std::make_unique<std::string>(description::MakeWorkingText(buffer.data(), nRead));
    Parse();
    return true;
}

void CDescriptionFile::Parse()
{
    if (!m_pText) return;
    description::ParseSection section{m_current.m_strRoot.Str(), m_current.m_strKey.Str()};
    std::vector<description::ParsedEntry> parsed;
    description::ParseText(*m_pText, SystemLeadBytes(), section, parsed);
    m_current.m_strRoot = CString(section.root);
    m_current.m_strKey = CString(section.key);

    int nNumber = static_cast<int>(m_entries.size());
    for (description::ParsedEntry& p : parsed) {
        auto entry = std::make_unique<CDescriptionEntry>();
        entry->m_strRoot = CString(std::move(p.root));
        entry->m_strKey = CString(std::move(p.key));
        entry->m_strName = CString(std::move(p.name));
        entry->m_strValue = CString(std::move(p.value));
        entry->m_nType = p.type;
        m_entries.emplace(nNumber++, std::move(entry));
    }
    m_pText.reset();
}

const CDescriptionEntry* CDescriptionFile::GetFirst()
{
    m_cursor = m_entries.begin();
    m_bHasCursor = true;
    return m_cursor == m_entries.end() ? nullptr : m_cursor->second.get();
}

const CDescriptionEntry* CDescriptionFile::GetNext()
{
    if (!m_bHasCursor || m_cursor == m_entries.end()) return nullptr;
    ++m_cursor;
    return m_cursor == m_entries.end() ? nullptr : m_cursor->second.get();
}
