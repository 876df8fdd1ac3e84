#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "download/ProgramImage.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr size_t kFileHeader = 0x44, kOptional = 0x58;

void Put(Bytes& b, size_t at, uint32_t value, size_t width)
{
    for (size_t i = 0; i < width; ++i) b[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// A program of 0x500 bytes: headers, one section's raw data at [0x200, 0x400) and a certificate
// table at [0x400, 0x500), so that the file's end is the certificate table's.
Bytes Program(bool pe32Plus)
{
    Bytes b(0x500);
    b[0] = 'M', b[1] = 'Z';
    Put(b, 0x3C, 0x40, 4);
    std::memcpy(&b[0x40], "PE\0\0", 4);
    const uint16_t cbOptional = pe32Plus ? 240 : 224;
    Put(b, kFileHeader + 2, 1, 2);
    Put(b, kFileHeader + 16, cbOptional, 2);
    Put(b, kFileHeader + 18, 0x0002, 2);
    Put(b, kOptional, pe32Plus ? 0x20B : 0x10B, 2);
    const size_t count = kOptional + (pe32Plus ? 108 : 92);
    Put(b, count, 16, 4);
    Put(b, count + 4 + 4 * 8, 0x400, 4), Put(b, count + 4 + 4 * 8 + 4, 0x100, 4);
    const size_t section = kOptional + cbOptional;
    Put(b, section + 16, 0x200, 4), Put(b, section + 20, 0x200, 4);
    return b;
}

bool Whole(const Bytes& b, size_t cbFile, std::string& why)
{
    return program_image::IsWholeProgram(b.data(), std::min(b.size(), cbFile), cbFile, why);
}

TEST(ProgramImage, OnlyTheWholeFileIsAProgramWhereverItIsCut)
{
    for (bool plus : {false, true}) {
        const Bytes b = Program(plus);
        std::string why;
        EXPECT_TRUE(Whole(b, b.size(), why)) << why;
        for (size_t cut = 0; cut < b.size(); ++cut)
            EXPECT_FALSE(Whole(b, cut, why)) << "PE32+ " << plus << ", cut at " << cut;
    }
}

TEST(ProgramImage, EachBrokenHeaderSaysWhy)
{
    const size_t section = kOptional + 224, certificates = kOptional + 96 + 4 * 8;
    const struct {
        size_t at, width;
        uint32_t value;
        const char* why;
    } rows[] = {
        {0, 1, 'X', "no DOS header"},
        {0x3C, 4, 0xFFFFFFF0, "no NT headers"},
        {0x40, 1, 'N', "no NT headers"},
        {kFileHeader + 18, 2, 0x2000, "not an executable image"},
        {kFileHeader + 2, 2, 0, "no section"},
        {kFileHeader + 2, 2, 0xFFFF, "the section table is cut"},
        {kFileHeader + 16, 2, 0xFFFF, "the optional header is cut"},
        {kFileHeader + 16, 2, 64, "the optional header is too short"},
        {kOptional, 2, 0x107, "neither PE32 nor PE32+"},
        {certificates + 4, 4, 0x101, "cut short: 1280 of 1281 bytes"},
        {section + 20, 4, 0xFFFFFFFF, "cut short: 1280 of 4294967807 bytes"},  // no 32-bit wrap
    };
    for (const auto& row : rows) {
        Bytes b = Program(false);
        Put(b, row.at, row.value, row.width);
        std::string why;
        EXPECT_FALSE(Whole(b, b.size(), why)) << row.why;
        EXPECT_EQ(row.why, why);
    }
}

}  // namespace
