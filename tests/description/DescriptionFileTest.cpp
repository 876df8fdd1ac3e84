// The update description: the text-to-entries step as tables of inputs and expected entries, the
// character stepping of double-byte code pages against the platform's own, and the file reader
// (cuts, repeated loads, the walk, the read-failure box) against real files.
#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include "description/DescriptionFile.h"
#include "description/DescriptionParser.h"
#include "framework/Handles.h"
#include "pure/DescriptionShow.h"
#include "support/TestEnv.h"
#include "support/UiHelper.h"

namespace {

using namespace descriptiontest;
using descriptiontest::Show;

// The platform's own lead bytes of a code page.
description::LeadByteSet PlatformLeadBytesOf(UINT codePage)
{
    return description::LeadByteSet::FromPredicate(
        [codePage](unsigned char b) { return ::IsDBCSLeadByteEx(codePage, b) != FALSE; });
}

std::string Show(const CDescriptionEntry& e)
{
    return Show(e.m_strRoot.Str(), e.m_strKey.Str(), e.m_strName.Str(), e.m_strValue.Str(), e.m_nType);
}

// A folder of its own below the run's state folder, emptied for every test.
std::string ScratchDir(const std::string& name)
{
    const std::string dir = testenv::StatePath("description\\" + name);
    testenv::RemoveTree(dir);
    EXPECT_TRUE(testenv::MakeDirs(dir)) << dir;
    return dir;
}

std::vector<std::string> Walk(CDescriptionFile& file)
{
    std::vector<std::string> out;
    for (const CDescriptionEntry* e = file.GetFirst(); e; e = file.GetNext()) out.push_back(Show(*e));
    return out;
}

// The tables the native tests parse with are the platform's.
TEST(DescriptionParser, LeadByteTablesAreThePlatforms)
{
    ASSERT_EQ(::GetACP(), 949u);
    ASSERT_TRUE(::IsDBCSLeadByteEx(932, 0x95)) << "the platform has no tables for code page 932";
    for (UINT codePage : {932u, 949u})
        for (int b = 0; b < 256; ++b)
            EXPECT_EQ(PlatformLeadBytesOf(codePage).IsLead(static_cast<unsigned char>(b)),
                      LeadBytesOf(codePage).IsLead(static_cast<unsigned char>(b)))
                << "code page " << codePage << ", byte " << b;
}

// The separator search against the platform's own stepping through ANSI text (CharNextExA), on
// random bytes rich in lead bytes and separators, in both double-byte code pages.
TEST(DescriptionParser, SeparatorSearchStepsLikeThePlatform)
{
    const char kAlphabet[] = "[]\\=\n\r\" ab\x81\x83\x95\x9F\xA1\xB0\xC6\xE0\xFC\xFE\x5B\x5C\x5D\x41\x61";
    std::mt19937 random(20240604);
    for (UINT codePage : {932u, 949u}) {
        SCOPED_TRACE("code page " + std::to_string(codePage));
        const description::LeadByteSet leadBytes = PlatformLeadBytesOf(codePage);
        int mismatches = 0;
        for (int round = 0; round < 2000 && mismatches < 5; ++round) {
            std::string text(1 + random() % 40, ' ');
            for (char& c : text) c = kAlphabet[random() % (sizeof kAlphabet - 1)];
            // Where the platform's stepping finds the first separator.
            size_t expected = std::string::npos;
            for (const char* p = text.c_str(); *p; p = ::CharNextExA(static_cast<WORD>(codePage), p, 0)) {
                if (*p == '[' || *p == ']' || *p == '\n' || *p == '=') {
                    expected = static_cast<size_t>(p - text.c_str());
                    break;
                }
            }
            const size_t found = description::FindSeparator(text, 0, "[]\n=", leadBytes);
            if (found != expected) {
                ++mismatches;
                ADD_FAILURE() << "text of " << text.size() << " bytes, round " << round << ": found " << found
                              << ", the platform steps to " << expected;
            }
        }
    }
}

TEST(DescriptionFile, LoadReadsTheFirst4096BytesAndStopsAtNul)
{
    const std::string dir = ScratchDir("cuts");
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<Expected> entries;
    };
    std::string big = std::string(4090, ';') + "\nn=abcdefgh\n";
    big += std::string(5000 - big.size() - 5, ' ') + "\nm=1\n";
    EXPECT_EQ(big.size(), 5000u);
    const Case cases[] = {
        {"empty file", "", {}},
        {"5000 bytes: the value crossing byte 4096 is cut, the rest ignored", big, {{"", "", "n", "abc", DW}}},
        {"NUL inside", std::string("[P]\na=1\n\0b=2\n", 13), {{"P", "", "a", "1", DW}}},
        {"Korean and CR LF", "[HKEY_CURRENT_USER\\소프트]\r\n\"경로\"=\"C:\\설치\"\r\n",
         {{"HKEY_CURRENT_USER", "소프트", "경로", "C:\\설치", SZ}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir + "\\temp.ini";
        ASSERT_TRUE(testenv::WriteFileBytes(path, c.bytes));
        CDescriptionFile file;
        ASSERT_TRUE(file.Load(path.c_str()));
        EXPECT_EQ(Walk(file), Show(c.entries));
    }
}

TEST(DescriptionFile, WalkEndsAndStartsOver)
{
    const std::string path = ScratchDir("walk") + "\\temp.ini";
    ASSERT_TRUE(testenv::WriteFileBytes(path, "[P]\na=1\nb=2\n"));
    CDescriptionFile file;
    EXPECT_EQ(file.GetFirst(), nullptr) << "a new table is empty";
    ASSERT_TRUE(file.Load(path.c_str()));
    EXPECT_EQ(file.GetNext(), nullptr) << "past the end of the empty table, before the Load";
    EXPECT_EQ(file.GetCount(), 2);

    const CDescriptionEntry* first = file.GetFirst();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->m_strName, "a");
    const CDescriptionEntry* second = file.GetNext();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->m_strName, "b");
    EXPECT_EQ(file.GetNext(), nullptr);
    EXPECT_EQ(file.GetNext(), nullptr) << "and again after the end";

    EXPECT_EQ(file.GetFirst(), first) << "GetFirst starts over, with the same entries";
    EXPECT_EQ(file.GetNext(), second);
}

TEST(DescriptionFile, SecondLoadAppendsInTheSectionWhereTheFirstEnded)
{
    const std::string dir = ScratchDir("twice");
    const std::string first = dir + "\\first.ini", second = dir + "\\second.ini", third = dir + "\\third.ini";
    ASSERT_TRUE(testenv::WriteFileBytes(first, "[HKEY_CURRENT_USER\\A]\nx=1\n[Sec]\n"));
    ASSERT_TRUE(testenv::WriteFileBytes(second, "y=2\n[Bare]\n"));
    ASSERT_TRUE(testenv::WriteFileBytes(third, "[Next]\nz=3\n"));

    CDescriptionFile file;
    ASSERT_TRUE(file.Load(first.c_str()));
    EXPECT_EQ(Walk(file), Show({{"HKEY_CURRENT_USER", "A", "x", "1", DW}}));
    ASSERT_TRUE(file.Load(second.c_str()));
    ASSERT_TRUE(file.Load(third.c_str()));
    // A new text starts as if its section had values, so "Bare", the last header of the second
    // text, gets no entry even though the third text opens with a header.
    EXPECT_EQ(Walk(file), Show({{"HKEY_CURRENT_USER", "A", "x", "1", DW},
                                {"Sec", "", "y", "2", DW},
                                {"Next", "", "z", "3", DW}}));
}

TEST(DescriptionFile, UnreadableFileTellsTheUserAndAddsNothing)
{
    ASSERT_EQ(::GetACP(), 949u);
    const std::string dir = ScratchDir("unreadable");
    const std::string good = dir + "\\temp.ini";
    ASSERT_TRUE(testenv::WriteFileBytes(good, "[P]\na=1\n"));
    CDescriptionFile file;
    ASSERT_TRUE(file.Load(good.c_str()));

    // Held without sharing, as another opener would: it fails like the others, at once.
    const std::string heldPath = dir + "\\held.ini";
    ASSERT_TRUE(testenv::WriteFileBytes(heldPath, "[P]\nb=2\n"));
    UniqueFileHandle held(::CreateFileA(heldPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.IsValid());
    struct Case {
        const char* name;
        std::string path;
    };
    const Case cases[] = {
        {"missing file", dir + "\\absent.ini"},
        {"a folder", dir},
        {"held by another opener", heldPath},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui::Watcher watcher([&] {
            SCOPED_TRACE(c.name);
            HWND box = ui::WaitForWindow("qxtests", 15000);
            ASSERT_NE(box, nullptr) << "no application message box";
            EXPECT_EQ(ui::GetMessageBoxText(box), "\xC6\xC4\xBD\xCC \xC6\xC4\xC0\xCF\xC0\xBB \xC0\xD0\xC1\xF6 "
                                                   "\xB8\xF8\xC7\xDF\xBD\xC0\xB4\xCF\xB4\xD9.");  // 파싱 파일을 읽지 못했습니다.
            EXPECT_TRUE(ui::ClickButton(box, IDOK));
            EXPECT_TRUE(ui::WaitForWindowGone(box));
        });
        EXPECT_FALSE(file.Load(c.path.c_str()));
        watcher.Join();
        EXPECT_EQ(Walk(file), Show({{"P", "", "a", "1", DW}})) << "the table is unchanged and usable";
    }
}

}  // namespace
