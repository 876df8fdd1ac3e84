// Descriptions as tables: entries shown one per line, so that a failing table shows both lists
// side by side, and the lead bytes of the two double-byte code pages the tests use. Free of
// windows.h: shared by the native program and the one run under Wine.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "description/DescriptionParser.h"

namespace descriptiontest {

constexpr int SZ = description::kTypeString;
constexpr int BIN = description::kTypeBinary;
constexpr int DW = description::kTypeDword;

// Code page 949 (Korean) opens a double-byte character with 0x81-0xFE; code page 932 (Japanese)
// with 0x81-0x9F and 0xE0-0xFC. The Wine program checks these against the platform's tables.
inline description::LeadByteSet LeadBytesOf(unsigned codePage)
{
    return description::LeadByteSet::FromPredicate([codePage](unsigned char b) {
        if (codePage == 949) return b >= 0x81 && b <= 0xFE;
        if (codePage == 932) return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        return false;
    });
}

inline std::string Show(const std::string& root, const std::string& key, const std::string& name,
                        const std::string& value, int type)
{
    return "[" + root + "|" + key + "] " + name + " = " + value + " (" + std::to_string(type) + ")";
}

inline std::string Show(const description::ParsedEntry& e)
{
    return Show(e.root, e.key, e.name, e.value, e.type);
}

struct Expected {
    const char* root;
    const char* key;
    const char* name;
    const char* value;
    int type;
};

inline std::vector<std::string> Show(const std::vector<Expected>& expected)
{
    std::vector<std::string> out;
    for (const Expected& e : expected) out.push_back(Show(e.root, e.key, e.name, e.value, e.type));
    return out;
}

// The step as Load runs it: the working text made from the bytes, parsed from no section.
inline std::vector<std::string> ParseBytes(const std::string& bytes, unsigned codePage = 949)
{
    description::ParseSection section;
    std::vector<description::ParsedEntry> entries;
    description::ParseText(description::MakeWorkingText(bytes.data(), bytes.size()), LeadBytesOf(codePage), section,
                           entries);
    std::vector<std::string> out;
    for (const description::ParsedEntry& e : entries) out.push_back(Show(e));
    return out;
}

struct ParseCase {
    const char* name;
    std::string text;
    std::vector<Expected> entries;
};

inline void RunParseCases(const std::vector<ParseCase>& cases, unsigned codePage = 949)
{
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseBytes(c.text, codePage), Show(c.entries));
    }
}

}  // namespace descriptiontest
