// The step from the text of an update description to its entries, kept free of files, windows
// and the registry (and of windows.h), so that it builds with any C++17 compiler and can be fed
// arbitrary bytes. The only thing it needs from the platform is which bytes open a double-byte
// character in the text's code page; the caller supplies that as a LeadByteSet.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace description {

// The registry's value type codes as the entries carry them (REG_SZ, REG_BINARY, REG_DWORD).
constexpr int kTypeString = 1;
constexpr int kTypeBinary = 3;
constexpr int kTypeDword = 4;

// The most bytes of a description file that are ever looked at.
constexpr size_t kMaxTextBytes = 4096;

// Which bytes open a double-byte character. A byte that opens one takes the next byte with it,
// whatever that byte is, the way the platform steps through ANSI text (CharNextA): so a trail
// byte that looks like "[", "\" or "]" never counts as one. Only the end of the text stops it.
class LeadByteSet {
public:
    // No lead bytes: single-byte text.
    LeadByteSet() { m_lead.fill(false); }

    template <typename Predicate>
    static LeadByteSet FromPredicate(Predicate isLead)
    {
        LeadByteSet set;
        for (size_t b = 0; b < set.m_lead.size(); ++b) set.m_lead[b] = isLead(static_cast<unsigned char>(b)) != 0;
        return set;
    }

    bool IsLead(unsigned char b) const { return m_lead[b]; }

private:
    std::array<bool, 256> m_lead;
};

// One parsed entry, as plain bytes.
struct ParsedEntry {
    std::string root;
    std::string key;
    std::string name;
    std::string value;
    int type = kTypeString;
};

// The section that is current while parsing: the root and key of the last header seen, untrimmed.
// It outlives one text, because a second text is parsed on in the section where the first ended.
struct ParseSection {
    std::string root;
    std::string key;
};

// The working text made from what one read gave: at most kMaxTextBytes of it, a line feed after
// them, and all of it cut at the first NUL byte (which also drops that line feed).
std::string MakeWorkingText(const char* bytes, size_t count);

// Position of the first byte of `text`, at or after `from`, that is one of `separators` and stands
// at a character boundary (never the second byte of a double-byte character); npos when none.
// `from` must itself be a character boundary.
size_t FindSeparator(const std::string& text, size_t from, const char* separators, const LeadByteSet& leadBytes);

// Removes every space, line feed, carriage return and double quote from the front, then from the
// back. Byte tests: these four never occur inside a Korean double-byte character.
std::string TrimQuoted(std::string text);

// Turns `text` into entries appended to `entries`, in text order. `section` is read at the start
// and left at the section current at the end. Never fails: malformed text is skipped or yields
// entries as the format says.
void ParseText(const std::string& text, const LeadByteSet& leadBytes, ParseSection& section,
               std::vector<ParsedEntry>& entries);

}  // namespace description
