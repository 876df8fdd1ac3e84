#include "install/LoaderSigners.h"

#include "framework/ResourceText.h"
#include "framework/Trace.h"
#include "resources/resource.h"

namespace {

// A handful of lines of 80 characters.
constexpr DWORD kMaxPinBytes = 16 * 1024;
const char kSignerField[] = "signer-sha256=";

}  // namespace

LoaderSigners ParseLoaderSigners(const std::string& text)
{
    LoaderSigners signers;
    for (const std::string& line : SettingLines(text)) {
        if (line.compare(0, sizeof kSignerField - 1, kSignerField) != 0) {
            Trace("loader pin: built-in line \"%.100s\" is not understood", line.c_str());
            continue;
        }
        signers.bPinned = true;
        Sha256Digest thumbprint{};
        if (CSha256::ParseHex(line.c_str() + sizeof kSignerField - 1, thumbprint))
            signers.thumbprints.push_back(thumbprint);
        else
            Trace("loader pin: \"%.100s\" is no SHA-256 thumbprint; it allows no signer", line.c_str());
    }
    return signers;
}

LoaderSigners ReadBuiltInLoaderSigners(HINSTANCE hModule)
{
    std::string text;
    if (!ReadResourceText(hModule, IDR_LOADER_SIGNERS, kMaxPinBytes, text)) {
        Trace("loader pin: the module carries none");
        return LoaderSigners();
    }
    return ParseLoaderSigners(text);
}
