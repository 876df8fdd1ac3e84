// libFuzzer target for the form of a folder path the user types. The rule is held against a
// plain reading of it: a drive letter, ":" and "\", then names split at every backslash, each of
// them one that IsValidFolderName takes, at most kMaxFolderPathBytes bytes in all; and a name is
// valid when it is not empty, has no tab, space or full stop at either end and none of the
// characters the file system forbids. A recorded install directory (IsLocalFolderPath) is held
// against Windows' own rule for names. Built and run by tests/fuzz/run.sh.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "folder/FolderPathForm.h"

namespace {

void Require(bool ok, const char* promise, const std::string& input)
{
    if (ok) return;
    std::fprintf(stderr, "broken promise: %s (input of %zu bytes)\n", promise, input.size());
    std::abort();
}

bool ReferenceName(const std::string& name)
{
    const std::string edges = "\t .";
    if (name.empty() || edges.find(name.front()) != std::string::npos || edges.find(name.back()) != std::string::npos)
        return false;
    return name.find_first_of("\"*/:<>?\\|") == std::string::npos;
}

int ReferencePath(const std::string& path)
{
    if (path.size() < 3 || path.size() > kMaxFolderPathBytes) return FOLDER_INVALID;
    const char drive = path[0];
    if (!((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z')) || path[1] != ':' || path[2] != '\\')
        return FOLDER_INVALID;
    if (path.size() == 3) return FOLDER_OK;
    // After the root every backslash separates two names, so a doubled or trailing one leaves an
    // empty name.
    size_t start = 3;
    for (;;) {
        const size_t end = path.find('\\', start);
        if (!ReferenceName(path.substr(start, end == std::string::npos ? std::string::npos : end - start)))
            return FOLDER_INVALID;
        if (end == std::string::npos) return FOLDER_OK;
        start = end + 1;
    }
}

// Windows' rule: no empty name, none ending in a full stop or a blank, no control byte or reserved
// character, no device name (its part before the first full stop, blanks trimmed).
bool ReferenceRecordedPath(std::string path)
{
    if (path.size() < 3 || path.size() > kMaxFolderPathBytes || path.compare(1, 2, ":\\") != 0 ||
        !std::isalpha(static_cast<unsigned char>(path[0])))
        return false;
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
    if (path.size() == 3) return true;  // a drive's root
    path += '\\';
    for (size_t start = 3, end; (end = path.find('\\', start)) != std::string::npos; start = end + 1) {
        const std::string name = path.substr(start, end - start);
        if (name.empty() || name.back() == '.' || name.back() == ' ' || name.back() == '\t') return false;
        for (unsigned char ch : name)
            if (ch < 0x20 || std::string("\"*/:<>?|").find(static_cast<char>(ch)) != std::string::npos) return false;
        std::string base = name.substr(0, name.find('.'));
        base.erase(base.find_last_not_of(" \t") + 1);
        for (char& ch : base) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        for (const char* device : {"CON", "PRN", "AUX", "NUL"})
            if (base == device) return false;
        const bool numbered = base.size() == 4 && std::isdigit(static_cast<unsigned char>(base[3]));
        if (numbered && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0)) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Both functions see a C string: the text ends at the first NUL.
    const std::string text = std::string(reinterpret_cast<const char*>(data), size).c_str();

    const bool valid = IsValidFolderName(text.c_str());
    Require(valid == ReferenceName(text), "IsValidFolderName follows the rule", text);

    const int form = CheckPathForm(text.c_str());
    Require(form == FOLDER_OK || form == FOLDER_INVALID, "CheckPathForm answers valid or invalid", text);
    Require(form == ReferencePath(text), "CheckPathForm follows the rule", text);
    if (form == FOLDER_OK) {
        Require(text.size() >= 3 && text.size() <= kMaxFolderPathBytes, "a valid path fits the limit", text);
        const char drive = text[0];
        Require(((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z')) && text.compare(1, 2, ":\\") == 0,
                "a valid path starts at a drive's root", text);
        for (size_t start = 3; start < text.size();) {
            const size_t end = std::min(text.find('\\', start), text.size());
            Require(IsValidFolderName(text.substr(start, end - start).c_str()), "every name of a valid path is valid",
                    text);
            Require(end + 1 != text.size(), "a valid path has no trailing backslash", text);
            start = end + 1;
        }
    }

    Require(IsLocalFolderPath(text.c_str()) == ReferenceRecordedPath(text), "IsLocalFolderPath follows Windows' rule",
            text);

    // The same text as one name under a drive's root, and under a folder ("C:\\" alone is the root).
    if (!text.empty() && text.find('\\') == std::string::npos) {
        const std::string underRoot = "C:\\" + text, underFolder = "z:\\x\\" + text;
        const auto expect = [&](const std::string& path) {
            return valid && path.size() <= kMaxFolderPathBytes ? FOLDER_OK : FOLDER_INVALID;
        };
        Require(CheckPathForm(underRoot.c_str()) == expect(underRoot), "a name is taken under the root as alone",
                text);
        Require(CheckPathForm(underFolder.c_str()) == expect(underFolder), "a name is taken under a folder as alone",
                text);
    }
    return 0;
}
