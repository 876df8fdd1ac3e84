// libFuzzer target for the step from a description's bytes to its entries. The text comes from a
// web server, so any bytes must give entries that keep the parser's promises, and never a fault
// the address or undefined behaviour sanitizer can see. Built and run by tests/fuzz/run.sh.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "description/DescriptionParser.h"

namespace {

using description::LeadByteSet;
using description::ParsedEntry;

// Code page 949, the one the product runs under.
const LeadByteSet kCodePage949 = LeadByteSet::FromPredicate([](unsigned char b) { return b >= 0x81 && b <= 0xFE; });
// Code page 932 has trail bytes that look like "[", "\" and "]": only the lead byte keeps them
// out of the separators, a path code page 949 never takes.
const LeadByteSet kCodePage932 =
    LeadByteSet::FromPredicate([](unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); });
const LeadByteSet kSingleByte;

void Require(bool ok, const char* promise)
{
    if (ok) return;
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::abort();
}

bool HasSeparator(const std::string& text, const char* separators, const LeadByteSet& leadBytes)
{
    return description::FindSeparator(text, 0, separators, leadBytes) != std::string::npos;
}

bool Same(const std::vector<ParsedEntry>& a, const std::vector<ParsedEntry>& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].root != b[i].root || a[i].key != b[i].key || a[i].name != b[i].name || a[i].value != b[i].value ||
            a[i].type != b[i].type)
            return false;
    }
    return true;
}

std::string Trim(const std::string& text)
{
    const char kTrimmed[] = " \n\r\"";
    const size_t begin = text.find_first_not_of(kTrimmed);
    return begin == std::string::npos ? std::string() : text.substr(begin, text.find_last_not_of(kTrimmed) + 1 - begin);
}

// The format read once more, plainly, over the text cut into characters first: separators "[",
// "]", line feed and "="; a header's root and key split at its first backslash; a pair's type
// told by the byte right after "=" (a quote: string, "h": binary without that "h", else number);
// a header with no pair before the next header stands for its key. Sections carry over as in
// ParseText.
std::vector<ParsedEntry> ReferenceParse(const std::string& text, const LeadByteSet& leadBytes,
                                        description::ParseSection& section)
{
    std::vector<size_t> starts;  // where each character starts, then the end of the text
    for (size_t at = 0; at < text.size();) {
        starts.push_back(at);
        at += leadBytes.IsLead(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
    }
    starts.push_back(text.size());
    const size_t count = starts.size() - 1;
    const auto bytes = [&](size_t from, size_t to) { return text.substr(starts[from], starts[to] - starts[from]); };
    // The first character from `from` that is one of `set`; `count` when none is before `to`.
    const auto next = [&](size_t from, const char* set, size_t to) {
        for (size_t i = from; i < to; ++i)
            if (starts[i + 1] - starts[i] == 1 && text[starts[i]] != '\0' &&
                std::strchr(set, text[starts[i]]) != nullptr)
                return i;
        return count;
    };

    std::vector<ParsedEntry> entries;
    bool sectionHasValues = true;
    for (size_t i = 0;;) {
        const size_t sep = next(i, "[]\n=", count);
        if (sep == count) break;
        const char c = text[starts[sep]];
        if (c == '[') {
            if (!sectionHasValues)
                entries.push_back({Trim(section.root), Trim(section.key), "", "", description::kTypeString});
            sectionHasValues = false;
            // An unclosed header is an empty one.
            const size_t close = next(sep + 1, "]", count);
            const size_t backslash = close == count ? count : next(sep + 1, "\\", close);
            section.root = close == count ? "" : bytes(sep + 1, backslash < close ? backslash : close);
            section.key = backslash < close ? bytes(backslash + 1, close) : "";
            i = close == count ? sep + 1 : close + 1;
        } else if (c == '=') {
            sectionHasValues = true;
            const size_t end = next(sep + 1, "[]\n=", count);
            std::string raw = end == count ? "" : bytes(sep + 1, end);
            int type = description::kTypeDword;
            if (!raw.empty() && raw[0] == '"') {
                type = description::kTypeString;
            } else if (!raw.empty() && raw[0] == 'h') {
                type = description::kTypeBinary;
                raw.erase(0, 1);
            }
            entries.push_back({Trim(section.root), Trim(section.key), Trim(bytes(i, sep)), Trim(raw), type});
            if (end == count) break;
            i = end + 1;
        } else {
            i = sep + 1;
        }
    }
    return entries;
}

void CheckWorkingText(const uint8_t* data, size_t size, const std::string& text)
{
    const size_t kept = size < description::kMaxTextBytes ? size : description::kMaxTextBytes;
    const std::string full = std::string(reinterpret_cast<const char*>(data), kept) + '\n';
    Require(text.size() <= description::kMaxTextBytes + 1, "the working text is at most 4096 bytes and a line feed");
    Require(text.find('\0') == std::string::npos, "the working text holds no NUL");
    Require(full.compare(0, text.size(), text) == 0, "the working text is the start of what was read");
    Require(text.size() == full.size() || full[text.size()] == '\0', "the working text ends only at a NUL or the cut");
}

// Parses `text` starting in `section` and checks the entries against the plain reading and
// against what every entry must look like, whatever the text.
void ParseAndCheck(const std::string& text, const LeadByteSet& leadBytes, description::ParseSection& section)
{
    description::ParseSection referenceSection = section;
    std::vector<ParsedEntry> entries;
    description::ParseText(text, leadBytes, section, entries);
    Require(Same(entries, ReferenceParse(text, leadBytes, referenceSection)) &&
                section.root == referenceSection.root && section.key == referenceSection.key,
            "the entries and the section are those the format gives");

    // Every entry stands for one "=" (a pair) or one "[" (a bare header) of the text.
    size_t openers = 0;
    for (char c : text) openers += (c == '=' || c == '[');
    Require(entries.size() <= openers, "no more entries than \"=\" and \"[\" in the text");

    for (const ParsedEntry& e : entries) {
        Require(e.type == description::kTypeString || e.type == description::kTypeBinary ||
                    e.type == description::kTypeDword,
                "an entry is a string, a binary or a number");
        Require(description::TrimQuoted(e.root) == e.root && description::TrimQuoted(e.key) == e.key &&
                    description::TrimQuoted(e.name) == e.name && description::TrimQuoted(e.value) == e.value,
                "root, key, name and value come trimmed");
        // What ended a field can never be inside it, except as the trail byte of a character.
        Require(!HasSeparator(e.name, "[]\n=", leadBytes), "a name holds no separator");
        Require(!HasSeparator(e.value, "[]\n=", leadBytes), "a value holds no separator");
        Require(!HasSeparator(e.root, "]\\", leadBytes), "a root holds no \"]\" and no backslash");
        Require(!HasSeparator(e.key, "]", leadBytes), "a key holds no \"]\"");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text = description::MakeWorkingText(reinterpret_cast<const char*>(data), size);
    CheckWorkingText(data, size, text);

    description::ParseSection section;
    ParseAndCheck(text, kCodePage949, section);
    // One more reading, picked by the first byte so that each input keeps to one: the same text
    // parsed on in the section where it ended (as a second file is), or in the other code pages.
    switch (size > 0 ? data[0] % 3 : 0) {
    case 0:
        ParseAndCheck(text, kCodePage949, section);
        break;
    case 1: {
        description::ParseSection fresh;
        ParseAndCheck(text, kCodePage932, fresh);
        break;
    }
    default: {
        description::ParseSection fresh;
        ParseAndCheck(text, kSingleByte, fresh);
        break;
    }
    }
    return 0;
}
