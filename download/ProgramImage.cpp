#include "download/ProgramImage.h"

#include <algorithm>
#include <cstring>

namespace program_image {
namespace {

uint16_t Le16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Le32(const unsigned char* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The layout's fixed sizes and offsets.
constexpr size_t kDosHeaderBytes = 64;
constexpr size_t kNtOffsetField = 0x3C;
constexpr size_t kFileHeaderBytes = 20;
constexpr size_t kSectionHeaderBytes = 40;
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint16_t kPe32Magic = 0x10B, kPe32PlusMagic = 0x20B;
constexpr size_t kCertificateDirectory = 4;

}  // namespace

bool IsWholeProgram(const unsigned char* head, size_t cbHead, uint64_t cbFile, std::string& why)
{
    auto refuse = [&why](const std::string& reason) {
        why = reason;
        return false;
    };
    cbHead = static_cast<size_t>(std::min<uint64_t>(cbHead, cbFile));
    if (!head || cbHead < kDosHeaderBytes || head[0] != 'M' || head[1] != 'Z') return refuse("no DOS header");
    const uint32_t ntOffset = Le32(head + kNtOffsetField);
    if (ntOffset > cbHead || cbHead - ntOffset < 4 + kFileHeaderBytes || std::memcmp(head + ntOffset, "PE\0\0", 4) != 0)
        return refuse("no NT headers");
    const unsigned char* fileHeader = head + ntOffset + 4;
    const uint16_t nSections = Le16(fileHeader + 2);
    const uint16_t cbOptional = Le16(fileHeader + 16);
    if (!(Le16(fileHeader + 18) & kExecutableImage)) return refuse("not an executable image");
    if (nSections == 0) return refuse("no section");

    const size_t optionalOffset = ntOffset + 4 + kFileHeaderBytes;
    if (cbHead - optionalOffset < cbOptional || cbOptional < 2) return refuse("the optional header is cut");
    const unsigned char* optional = head + optionalOffset;
    const uint16_t magic = Le16(optional);
    if (magic != kPe32Magic && magic != kPe32PlusMagic) return refuse("neither PE32 nor PE32+");
    // NumberOfRvaAndSizes, then the data directories of 8 bytes each.
    const size_t directoryCountOffset = magic == kPe32Magic ? 92 : 108;
    if (cbOptional < directoryCountOffset + 4) return refuse("the optional header is too short");

    uint64_t end = 0;  // where the file must reach
    const size_t certificateEntry = directoryCountOffset + 4 + kCertificateDirectory * 8;
    if (Le32(optional + directoryCountOffset) > kCertificateDirectory && cbOptional >= certificateEntry + 8) {
        // The certificate table's address is a file offset, not a virtual one.
        const uint32_t cbCertificates = Le32(optional + certificateEntry + 4);
        if (cbCertificates != 0) end = uint64_t{Le32(optional + certificateEntry)} + cbCertificates;
    }
    const size_t sectionTable = optionalOffset + cbOptional;
    if ((cbHead - sectionTable) / kSectionHeaderBytes < nSections) return refuse("the section table is cut");
    for (size_t i = 0; i < nSections; ++i) {
        const unsigned char* section = head + sectionTable + i * kSectionHeaderBytes;
        const uint32_t cbRaw = Le32(section + 16);
        if (cbRaw != 0) end = std::max(end, uint64_t{Le32(section + 20)} + cbRaw);
    }
    if (cbFile < end)
        return refuse("cut short: " + std::to_string(cbFile) + " of " + std::to_string(end) + " bytes");
    return true;
}

}  // namespace program_image
