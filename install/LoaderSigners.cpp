#include "install/LoaderSigners.h"

#include "framework/ResourceText.h"
#include "framework/Trace.h"
#include "resources/resource.h"

namespace {

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
        // Blanks after the field's "=" are trimmed, as at the line's ends and in every reader of the pin.
        std::string value = line.substr(sizeof kSignerField - 1);
        value.erase(0, value.find_first_not_of(" \t"));
        if (CSha256::ParseHex(value.c_str(), thumbprint))
            signers.thumbprints.push_back(thumbprint);
        else
            Trace("loader pin: \"%.100s\" is no SHA-256 thumbprint; it allows no signer", line.c_str());
    }
    return signers;
}

LoaderSigners ReadBuiltInLoaderSigners(HINSTANCE hModule)
{
    std::string text;
    if (!ReadResourceText(hModule, IDR_LOADER_SIGNERS, QX_LOADER_SIGNERS_MAX_BYTES, text)) {
        Trace("loader pin: the module carries none");
        return LoaderSigners();
    }
    return ParseLoaderSigners(text);
}
