// The text-to-entries step of the update description as tables of inputs and expected entries,
// in the two double-byte code pages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DescriptionShow.h"
#include "description/DescriptionParser.h"

using namespace descriptiontest;

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
