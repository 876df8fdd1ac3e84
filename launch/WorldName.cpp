#include "launch/WorldName.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/File.h"

namespace {

const char kDefaultWorld[] = "default";
const char kUtf8Mark[] = "\xEF\xBB\xBF";

// Room for one line. A name longer than kMaxWorldNameBytes must still be read far enough to know
// where a whole character ends and what the name holds; what lies beyond this room is never written.
constexpr size_t kLineRoom = 4096;

// The lines of a file, read through a fixed chunk. A line ends at a line feed, and a carriage return
// right before it belongs to that end; every other byte, a lone carriage return among them, stays
// in the line. At most kLineRoom bytes of a line are kept.
class CLineReader {
public:
    explicit CLineReader(const char* pszPath) { m_file.Open(pszPath, CFile::modeRead | CFile::shareDenyNone); }

    // False after the last line.
    bool Next(std::string& line)
    {
        line.clear();
        bool bAny = false;
        bool bDropped = false;
        for (;;) {
            if (m_nPos == m_nHave) {
                m_nHave = m_file.Read(m_chunk, sizeof m_chunk);
                m_nPos = 0;
                if (m_nHave == 0) break;
            }
            bAny = true;
            const char* pBegin = m_chunk + m_nPos;
            const char* pEnd = m_chunk + m_nHave;
            const char* pFeed = static_cast<const char*>(std::memchr(pBegin, '\n', static_cast<size_t>(pEnd - pBegin)));
            const char* pStop = pFeed ? pFeed : pEnd;
            const size_t nTake = std::min(static_cast<size_t>(pStop - pBegin), kLineRoom - line.size());
            line.append(pBegin, nTake);
            bDropped = bDropped || nTake < static_cast<size_t>(pStop - pBegin);
            m_nPos = static_cast<UINT>(pStop - m_chunk) + (pFeed ? 1 : 0);
            if (pFeed) break;
        }
        if (!bDropped && !line.empty() && line.back() == '\r') line.pop_back();
        return bAny;
    }

private:
    CFile m_file;
    char m_chunk[4096];
    UINT m_nHave = 0;
    UINT m_nPos = 0;
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsControl(char c)
{
    return static_cast<unsigned char>(c) < 0x20;
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Section and key names are told apart as the platform's profile files do: regardless of case.
bool SameName(const std::string& a, const char* pszB)
{
    const size_t nB = std::strlen(pszB);
    if (a.size() != nB) return false;
    for (size_t i = 0; i < nB; ++i)
        if (LowerAscii(a[i]) != LowerAscii(pszB[i])) return false;
    return true;
}

std::string Trim(const std::string& text, bool (*isTrimmed)(char))
{
    size_t nBegin = 0;
    size_t nEnd = text.size();
    while (nBegin < nEnd && isTrimmed(text[nBegin])) ++nBegin;
    while (nEnd > nBegin && isTrimmed(text[nEnd - 1])) --nEnd;
    return text.substr(nBegin, nEnd - nBegin);
}

// Tabs are left on the value: a tab is a control byte, and a name with one is refused.
bool IsSpace(char c)
{
    return c == ' ';
}

// A value in matching quotes is the text between them, as profile files have it.
std::string Unquoted(const std::string& value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// The world file is text in the ANSI code page, unless it starts with the UTF-8 mark.
std::string AnsiFromUtf8(const std::string& text)
{
    if (text.empty()) return text;
    const int nWide = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (nWide <= 0) return std::string();
    std::wstring wide(static_cast<size_t>(nWide), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], nWide);
    const int nAnsi = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), nWide, nullptr, 0, nullptr, nullptr);
    if (nAnsi <= 0) return std::string();
    std::string ansi(static_cast<size_t>(nAnsi), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), nWide, &ansi[0], nAnsi, nullptr, nullptr);
    return ansi;
}

// The longest start of `name` of at most nMax bytes that ends on a whole character, walked from
// the start: only from there is it known which byte leads a double-byte character.
std::string CutOnCharacter(const std::string& name, size_t nMax)
{
    const size_t nLimit = std::min(name.size(), nMax);
    size_t nEnd = 0;
    while (nEnd < nLimit) {
        const size_t nStep = ::IsDBCSLeadByte(static_cast<BYTE>(name[nEnd])) ? 2 : 1;
        if (nEnd + nStep > nLimit) break;
        nEnd += nStep;
    }
    return name.substr(0, nEnd);
}

}  // namespace

bool ReadWorldName(const char* pszWorldFile, CString& strName)
{
    CLineReader reader(pszWorldFile);
    std::string line;
    bool bFirstLine = true;
    bool bUtf8 = false;
    bool bInProgram = false;
    while (reader.Next(line)) {
        if (bFirstLine && line.compare(0, 3, kUtf8Mark) == 0) {
            line.erase(0, 3);
            bUtf8 = true;
        }
        bFirstLine = false;

        const std::string text = Trim(line, IsBlank);
        const size_t nClose = text.rfind(']');
        if (!text.empty() && text[0] == '[' && nClose != std::string::npos) {
            bInProgram = SameName(text.substr(1, nClose - 1), "Program");
            continue;
        }
        if (!bInProgram) continue;
        const size_t nEquals = text.find('=');
        if (nEquals == std::string::npos || !SameName(Trim(text.substr(0, nEquals), IsBlank), "world")) continue;

        std::string name = Unquoted(Trim(line.substr(line.find('=') + 1), IsSpace));
        if (bUtf8) name = AnsiFromUtf8(name);
        if (std::any_of(name.begin(), name.end(), IsControl)) return false;
        strName = CString(CutOnCharacter(name, kMaxWorldNameBytes));
        return true;
    }
    strName = kDefaultWorld;
    return true;
}
