// The update description: the text-to-entries step as tables of inputs and expected entries, the
// character stepping of double-byte code pages against the platform's own, and the file reader
// (cuts, repeated loads, the walk, the read-failure box) against real files.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <random>
#include <string>
#include <vector>

#include "description/DescriptionFile.h"
#include "description/DescriptionParser.h"
#include "framework/Handles.h"
#include "support/TestEnv.h"
#include "support/UiHelper.h"

namespace {

using description::ParsedEntry;

const int SZ = REG_SZ;
const int BIN = REG_BINARY;
const int DW = REG_DWORD;

description::LeadByteSet LeadBytesOf(UINT codePage)
{
    return description::LeadByteSet::FromPredicate(
        [codePage](unsigned char b) { return ::IsDBCSLeadByteEx(codePage, b) != FALSE; });
}

// One entry as one line, so that a failing table shows both lists side by side.
std::string Show(const std::string& root, const std::string& key, const std::string& name, const std::string& value,
                 int type)
{
    return "[" + root + "|" + key + "] " + name + " = " + value + " (" + std::to_string(type) + ")";
}

std::string Show(const ParsedEntry& e)
{
    return Show(e.root, e.key, e.name, e.value, e.type);
}

std::string Show(const CDescriptionEntry& e)
{
    return Show(e.m_strRoot.Str(), e.m_strKey.Str(), e.m_strName.Str(), e.m_strValue.Str(), e.m_nType);
}

struct Expected {
    const char* root;
    const char* key;
    const char* name;
    const char* value;
    int type;
};

std::vector<std::string> Show(const std::vector<Expected>& expected)
{
    std::vector<std::string> out;
    for (const Expected& e : expected) out.push_back(Show(e.root, e.key, e.name, e.value, e.type));
    return out;
}

// The step as Load runs it: the working text made from the bytes, parsed from no section.
std::vector<std::string> ParseBytes(const std::string& bytes, UINT codePage = 949)
{
    description::ParseSection section;
    std::vector<ParsedEntry> entries;
    description::ParseText(description::MakeWorkingText(bytes.data(), bytes.size()), LeadBytesOf(codePage), section,
                           entries);
    std::vector<std::string> out;
    for (const ParsedEntry& e : entries) out.push_back(Show(e));
    return out;
}

struct ParseCase {
    const char* name;
    std::string text;
    std::vector<Expected> entries;
};

void RunParseCases(const std::vector<ParseCase>& cases, UINT codePage = 949)
{
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseBytes(c.text, codePage), Show(c.entries));
    }
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

TEST(DescriptionParser, SeparatorsAndLineEnds)
{
    RunParseCases({
        {"a pair before any header has no section", "n=v\n", {{"", "", "n", "v", DW}}},
        {"CR LF line ends", "[Program]\r\n\"downurl\"=\"x\"\r\n\"b\"=\"y\"\r\n",
         {{"Program", "", "downurl", "x", SZ}, {"Program", "", "b", "y", SZ}}},
        {"LF line ends", "[Program]\n\"downurl\"=\"x\"\n\"b\"=\"y\"\n",
         {{"Program", "", "downurl", "x", SZ}, {"Program", "", "b", "y", SZ}}},
        {"a second = ends the value, the rest of the line is dropped", "n=v=w\nm=1\n",
         {{"", "", "n", "v", DW}, {"", "", "m", "1", DW}}},
        {"three = make two pairs", "n=v=w=z\n", {{"", "", "n", "v", DW}, {"", "", "w", "z", DW}}},
        {"a [ that ends a value opens no header", "[A]\nx=y[S]\na=b\n",
         {{"A", "", "x", "y", DW}, {"A", "", "a", "b", DW}}},
        {"a ] ends a value too", "x=y]z=1\n", {{"", "", "x", "y", DW}, {"", "", "z", "1", DW}}},
        {"lines without = are skipped", "just words\n\n; note\n  \nn=1\n", {{"", "", "n", "1", DW}}},
        {"a semicolon line with = is no comment", ";c=1\n", {{"", "", ";c", "1", DW}}},
        {"text before [ without = is skipped", "junk[Program]\na=b\n", {{"Program", "", "a", "b", DW}}},
        {"a stray ] drops what stood before it", "ab]n=1\n", {{"", "", "n", "1", DW}}},
        {"the same name twice gives two entries", "n=1\nn=2\n", {{"", "", "n", "1", DW}, {"", "", "n", "2", DW}}},
        {"a name of two quotes is empty", "\"\"=\"v\"\n", {{"", "", "", "v", SZ}}},
        {"an empty value", "n=\n", {{"", "", "n", "", DW}}},
        {"an empty name and value", "=\n", {{"", "", "", "", DW}}},
        {"the last line needs no line end", "a=1\nb=2", {{"", "", "a", "1", DW}, {"", "", "b", "2", DW}}},
        {"empty text", "", {}},
    });
}

TEST(DescriptionParser, Headers)
{
    RunParseCases({
        {"a plain section", "[Program]\n\"downurl\"=\"x\"\n", {{"Program", "", "downurl", "x", SZ}}},
        {"split at the first backslash only", "[HKEY_CLASSES_ROOT\\a\\b\\c]\nn=1\n",
         {{"HKEY_CLASSES_ROOT", "a\\b\\c", "n", "1", DW}}},
        {"blanks and quotes around root and key are trimmed", "[ \"HKEY_CURRENT_USER\" \\ \"Soft\\x\" ]\nn=1\n",
         {{"HKEY_CURRENT_USER", "Soft\\x", "n", "1", DW}}},
        {"a trailing backslash gives an empty key", "[Root\\]\nn=1\n", {{"Root", "", "n", "1", DW}}},
        {"an empty header", "[A]\nn=1\n[]\nm=2\n", {{"A", "", "n", "1", DW}, {"", "", "m", "2", DW}}},
        {"two headers in a row: one bare entry", "[A\\k]\n[B]\nn=1\n",
         {{"A", "k", "", "", SZ}, {"B", "", "n", "1", DW}}},
        {"three headers in a row: two bare entries", "[A]\n[B]\n[C]\nn=1\n",
         {{"A", "", "", "", SZ}, {"B", "", "", "", SZ}, {"C", "", "n", "1", DW}}},
        {"a bare header at the end gives nothing", "[A]\nn=1\n[B]\n", {{"A", "", "n", "1", DW}}},
        {"only bare headers", "[A]\n[B]", {{"A", "", "", "", SZ}}},
        {"a first header gives no entry for the section before it", "[A]\n", {}},
        {"values on the header's line", "[A]n=1\n", {{"A", "", "n", "1", DW}}},
        {"an unclosed [ empties the section and parsing goes on after it", "[A]\nn=1\n[noclose\nx=2\n",
         {{"A", "", "n", "1", DW}, {"", "", "x", "2", DW}}},
        {"a [ inside a header is text: the header runs to the next ]", "[A]\nn=1\n[x\n[B]\ny=2\n",
         {{"A", "", "n", "1", DW}, {"x\n[B", "", "y", "2", DW}}},
        {"a header over several lines keeps the line feeds inside", "[A\nB\\k\nx]\nn=1\n",
         {{"A\nB", "k\nx", "n", "1", DW}}},
        {"case is kept", "[hkey_current_user\\Soft]\nName=\"Val\"\n",
         {{"hkey_current_user", "Soft", "Name", "Val", SZ}}},
    });
}

TEST(DescriptionParser, TypeIsTheCharacterAfterTheEqualsSign)
{
    RunParseCases({
        {"quoted string", "n=\"s\"\n", {{"", "", "n", "s", SZ}}},
        {"digits", "\"Version\"=12\n", {{"", "", "Version", "12", DW}}},
        {"a blank before the quote makes a number entry", "n= \"s\"\n", {{"", "", "n", "s", DW}}},
        {"h: binary, the h removed", "n=hex:00,00,01,00\n", {{"", "", "n", "ex:00,00,01,00", BIN}}},
        {"an unquoted address loses its h", "n=http://x/y\n", {{"", "", "n", "ttp://x/y", BIN}}},
        {"upper-case H is no binary", "n=H1\n", {{"", "", "n", "H1", DW}}},
        {"h alone", "n=h\n", {{"", "", "n", "", BIN}}},
        {"h then quotes", "n=h\"q\"\n", {{"", "", "n", "q", BIN}}},
        {"empty value", "n=\n", {{"", "", "n", "", DW}}},
        {"a carriage return right after =", "n=\r\n", {{"", "", "n", "", DW}}},
        {"a word", "n=abc\n", {{"", "", "n", "abc", DW}}},
    });
}

TEST(DescriptionParser, TrimQuoted)
{
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"  \"\"x\"\" ", "x"},
        {"\"a\"b\"", "a\"b"},
        {"\"unbalanced", "unbalanced"},
        {"\r\n\" \r\n", ""},
        {"\t x \t", "\t x \t"},  // tabs are never trimmed, and they shield the blanks behind them
        {" in side ", "in side"},
        {"\"한글\"", "한글"},
    };
    for (const Case& c : cases) EXPECT_EQ(description::TrimQuoted(c.in), c.out) << "input [" << c.in << "]";

    RunParseCases({
        {"names and values are trimmed", "  \" n \" = \" v \" \r\n", {{"", "", "n", "v", DW}}},
        {"quotes inside stay", "n=\"\"a\"b\"\"\n", {{"", "", "n", "a\"b", SZ}}},
        {"a tab after = is kept", "n=\t1\n", {{"", "", "n", "\t1", DW}}},
    });
}

TEST(DescriptionParser, WorkingTextCuts)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::string text;
    };
    const std::string big(5000, 'x');
    std::string nulBeyond = big;
    nulBeyond[4500] = '\0';
    const Case cases[] = {
        {"a line feed is appended", "abc", "abc\n"},
        {"empty file", "", "\n"},
        {"a NUL cuts the text and the appended line feed", std::string("ab\0cd", 5), "ab"},
        {"a NUL first", std::string("\0ab", 3), ""},
        {"only 4096 bytes", big, std::string(4096, 'x') + "\n"},
        {"a NUL beyond 4096 bytes does not matter", nulBeyond, std::string(4096, 'x') + "\n"},
        {"exactly 4096 bytes", std::string(4096, 'y'), std::string(4096, 'y') + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(description::MakeWorkingText(c.bytes.data(), c.bytes.size()), c.text);
    }

    // What the cuts do to entries.
    std::string longFile = std::string(4090, ';') + "\nn=abcdefgh\nm=1\n";  // the value crosses byte 4096
    RunParseCases({
        {"a value crossing byte 4096 ends there", longFile, {{"", "", "n", "abc", DW}}},
        {"after a NUL nothing counts", std::string("a=1\nb=2\0c=3\n", 12), {{"", "", "a", "1", DW}, {"", "", "b", "", DW}}},
    });
}

TEST(DescriptionParser, KoreanTextInHeadersNamesAndValues)
{
    ASSERT_EQ(::GetACP(), 949u);
    RunParseCases({
        {"Korean key, name and value",
         "[HKEY_CURRENT_USER\\소프트웨어\\테스트]\n\"이름\"=\"값 입니다\"\n",
         {{"HKEY_CURRENT_USER", "소프트웨어\\테스트", "이름", "값 입니다", SZ}}},
        {"Korean section with a bare header", "[설정]\n[프로그램]\n주소=h다운로드\n",
         {{"설정", "", "", "", SZ}, {"프로그램", "", "주소", "다운로드", BIN}}},
        // Bytes 0xC6 0x41 and 0xB0 0x61 are Korean characters whose trail bytes are ASCII letters.
        {"trail bytes that are ASCII letters", "[\xC6\x41\\\xB0\x61]\n\xC6\x41=\xB0\x61\n",
         {{"\xC6\x41", "\xB0\x61", "\xC6\x41", "\xB0\x61", DW}}},
    });
}

// In code page 932 "\", "[" and "]" occur as trail bytes (0x95 0x5C is one character, for one);
// code page 949 has no such characters. The same bytes read as single-byte text split wrongly,
// which shows that the code page is what keeps them whole.
TEST(DescriptionParser, TrailBytesThatLookLikeSeparatorsInCodePage932)
{
    ASSERT_TRUE(::IsDBCSLeadByteEx(932, 0x95)) << "the platform has no tables for code page 932";
    ASSERT_FALSE(::IsDBCSLeadByteEx(932, 0xA0));
    ASSERT_FALSE(::IsDBCSLeadByteEx(932, 0x5C));

    RunParseCases(
        {
            {"trail \\ in the root", "[\x95\x5C\\key]\nn=1\n", {{"\x95\x5C", "key", "n", "1", DW}}},
            {"trail ] in the header", "[A\\\x83\x5D]\nn=1\n", {{"A", "\x83\x5D", "n", "1", DW}}},
            {"trail [ in a value", "[A]\nn=\"\x83\x5B\"\nm=2\n", {{"A", "", "n", "\x83\x5B", SZ}, {"A", "", "m", "2", DW}}},
            {"trail \\ and ] in a name", "[A]\n\x95\x5C\x83\x5D=1\n", {{"A", "", "\x95\x5C\x83\x5D", "1", DW}}},
            // As the platform steps: the lead byte takes the appended line feed, and the value,
            // which then has no separator after it, is empty.
            {"a lead byte before the end takes the line feed with it", "n=1\x95", {{"", "", "n", "", DW}}},
        },
        932);

    RunParseCases(
        {
            {"single-byte reading splits at the trail byte", "[\x95\x5C\\key]\nn=1\n",
             {{"\x95", "\\key", "n", "1", DW}}},
        },
        1252);
}

// The separator search against the platform's own stepping through ANSI text (CharNextExA), on
// random bytes rich in lead bytes and separators, in both double-byte code pages.
TEST(DescriptionParser, SeparatorSearchStepsLikeThePlatform)
{
    const char kAlphabet[] = "[]\\=\n\r\" ab\x81\x83\x95\x9F\xA1\xB0\xC6\xE0\xFC\xFE\x5B\x5C\x5D\x41\x61";
    std::mt19937 random(20240604);
    for (UINT codePage : {932u, 949u}) {
        SCOPED_TRACE("code page " + std::to_string(codePage));
        const description::LeadByteSet leadBytes = LeadBytesOf(codePage);
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

    struct Case {
        const char* name;
        std::string path;
    };
    const Case cases[] = {
        {"missing file", dir + "\\absent.ini"},
        {"a folder", dir},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui::Watcher watcher([&] {
            SCOPED_TRACE(c.name);
            // Shown after the second attempt, about 2 s on.
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

TEST(DescriptionFile, FileHeldByAnotherOpenerIsReadOnTheSecondAttempt)
{
    const std::string path = ScratchDir("held") + "\\temp.ini";
    ASSERT_TRUE(testenv::WriteFileBytes(path, "[P]\na=1\n"));
    // Held without sharing, as a writer still busy with it would: the first attempt fails.
    UniqueFileHandle held(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.IsValid());

    std::atomic<bool> loaded{false};
    ui::Watcher watcher([&] {
        // Let go well within the 2 s before the second attempt.
        ::Sleep(300);
        held.Reset();
        // No box may come up; one that does is answered so that the test does not hang.
        while (!loaded) {
            if (HWND box = ui::WaitForWindow("qxtests", 100)) {
                ADD_FAILURE() << "unexpected box: " << ui::GetMessageBoxText(box);
                ui::ClickButton(box, IDOK);
                ui::WaitForWindowGone(box);
            }
        }
    });
    CDescriptionFile file;
    const DWORD start = ::GetTickCount();
    const bool bLoaded = file.Load(path.c_str());
    const DWORD elapsed = ::GetTickCount() - start;
    loaded = true;
    watcher.Join();
    EXPECT_TRUE(bLoaded);
    EXPECT_GE(elapsed, 1900u) << "the second attempt waits";
    EXPECT_EQ(Walk(file), Show({{"P", "", "a", "1", DW}}));
}

}  // namespace
