#include "DescriptionParser.h"

#include <cstring>

namespace description {

namespace {

const char kSeparators[] = "[]\n=";

bool IsTrimmed(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '"';
}

}  // namespace

std::string MakeWorkingText(const char* bytes, size_t count)
{
    if (!bytes) count = 0;
    if (count > kMaxTextBytes) count = kMaxTextBytes;
    std::string text(bytes ? bytes : "", count);
    text += '\n';
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

size_t FindSeparator(const std::string& text, size_t from, const char* separators, const LeadByteSet& leadBytes)
{
    const size_t nSeparators = std::strlen(separators);
    size_t at = from;
    while (at < text.size()) {
        const unsigned char b = static_cast<unsigned char>(text[at]);
        if (leadBytes.IsLead(b)) {
            // A lead byte as the very last byte stands alone.
            at += (at + 1 < text.size()) ? 2 : 1;
            continue;
        }
        if (std::memchr(separators, b, nSeparators) != nullptr) return at;
        ++at;
    }
    return std::string::npos;
}

std::string TrimQuoted(std::string text)
{
    size_t begin = 0;
    while (begin < text.size() && IsTrimmed(text[begin])) ++begin;
    size_t end = text.size();
    while (end > begin && IsTrimmed(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

void ParseText(const std::string& text, const LeadByteSet& leadBytes, ParseSection& section,
               std::vector<ParsedEntry>& entries)
{
    // Whether the current section has had a name-value line since its header. It starts set, so
    // a text that opens with a header adds nothing for whatever section came before it.
    bool sectionHasValues = true;
    size_t pos = 0;  // everything before it has been consumed
    while (pos < text.size()) {
        const size_t sep = FindSeparator(text, pos, kSeparators, leadBytes);
        if (sep == std::string::npos) break;

        switch (text[sep]) {
        case '[': {
            if (!sectionHasValues) {
                // A header without values still stands for its key. As a string entry with an
                // empty name it makes the registry writer create the key with an empty default
                // value (the command line under a "command" key), and the comparison test that
                // default value for presence.
                ParsedEntry entry;
                entry.root = TrimQuoted(section.root);
                entry.key = TrimQuoted(section.key);
                entry.type = kTypeString;
                entries.push_back(std::move(entry));
            }
            sectionHasValues = false;
            pos = sep + 1;
            const size_t close = FindSeparator(text, pos, "]", leadBytes);
            const std::string header = close == std::string::npos ? std::string() : text.substr(pos, close - pos);
            const size_t backslash = FindSeparator(header, 0, "\\", leadBytes);
            if (backslash == std::string::npos) {
                section.root = header;
                section.key.clear();
            } else {
                section.root = header.substr(0, backslash);
                section.key = header.substr(backslash + 1);
            }
            // An unclosed "[" opens an empty section and parsing goes on right after it.
            if (close != std::string::npos) pos = close + 1;
            break;
        }
        case '=': {
            sectionHasValues = true;
            const std::string name = text.substr(pos, sep - pos);
            pos = sep + 1;
            const size_t end = FindSeparator(text, pos, kSeparators, leadBytes);
            std::string raw = end == std::string::npos ? std::string() : text.substr(pos, end - pos);

            ParsedEntry entry;
            entry.root = TrimQuoted(section.root);
            entry.key = TrimQuoted(section.key);
            entry.name = TrimQuoted(name);
            // The type is told by the very first character after "=", blanks included.
            if (!raw.empty() && raw[0] == '"') {
                entry.type = kTypeString;
            } else if (!raw.empty() && raw[0] == 'h') {
                entry.type = kTypeBinary;
                raw.erase(0, 1);
            } else {
                entry.type = kTypeDword;
            }
            entry.value = TrimQuoted(std::move(raw));
            entries.push_back(std::move(entry));

            // The separator that ended the value is consumed with it, even a "[" or an "=".
            if (end == std::string::npos) return;
            pos = end + 1;
            break;
        }
        default:  // "]" or a line feed: whatever stood before it had no "=" and is dropped
            pos = sep + 1;
            break;
        }
    }
}

}  // namespace description
