// The form of a typed folder path: names alone and inside paths, and whole paths.
#include <gtest/gtest.h>

#include <string>

#include "folder/FolderPathForm.h"

TEST(FolderPathForm, FolderNamesAloneAndInsidePaths)
{
    struct Case {
        const char* name;
        bool valid;
    };
    const Case cases[] = {
        {"a", true},
        {"Program Files", true},
        {"한글 폴더", true},
        {"a.b", true},
        {"a b\tc", true},       // blanks inside a name are fine
        {"\x01" "ctl", true},   // control characters other than the tab are accepted
        {"", false},
        {" a", false},
        {"a ", false},
        {"\ta", false},
        {"a\t", false},
        {".a", false},
        {"a.", false},
        {".", false},
        {"..", false},
        {"a\"b", false},
        {"a*b", false},
        {"a/b", false},
        {"a:b", false},
        {"a<b", false},
        {"a>b", false},
        {"a?b", false},
        {"a\\b", false},
        {"a|b", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("name \"") + c.name + "\"");
        EXPECT_EQ(IsValidFolderName(c.name), c.valid);
        // Inside a path the backslash separates names, and an empty one is a doubled backslash:
        // the path table has those.
        const std::string name = c.name;
        if (name.empty() || name.find('\\') != std::string::npos) continue;
        const int expected = c.valid ? FOLDER_OK : FOLDER_INVALID;
        EXPECT_EQ(CheckPathForm(("C:\\" + name).c_str()), expected) << "as the last name";
        EXPECT_EQ(CheckPathForm(("C:\\x\\" + name + "\\y").c_str()), expected) << "in the middle";
    }
    EXPECT_FALSE(IsValidFolderName(nullptr));
}

TEST(FolderPathForm, WholePaths)
{
    const std::string longest = "C:\\" + std::string(kMaxFolderPathBytes - 3, 'a');  // 259 bytes
    const std::string tooLong = longest + "b";                            // 260 bytes
    const std::string huge = "C:\\" + std::string(5000, 'a');
    struct Case {
        const char* what;
        const char* path;
        int expected;
        bool recorded;  // what IsLocalFolderPath says of it as a recorded install directory
    };
    const Case cases[] = {
        {"no path", nullptr, FOLDER_INVALID, false},
        {"empty", "", FOLDER_INVALID, false},
        {"drive without backslash", "C:", FOLDER_INVALID, false},
        {"drive root", "C:\\", FOLDER_OK, true},
        {"lower-case drive root", "d:\\", FOLDER_OK, true},
        {"root of a drive that may be missing", "Y:\\", FOLDER_OK, true},
        {"forward slash after the drive", "C:/", FOLDER_INVALID, false},
        {"drive-relative", "C:a", FOLDER_INVALID, false},
        {"digit for a drive letter", "1:\\a", FOLDER_INVALID, false},
        {"one folder", "C:\\a", FOLDER_OK, true},
        {"three folders", "C:\\a\\b\\c", FOLDER_OK, true},
        {"blanks and Hangul", "D:\\Program Files\\한글 폴더", FOLDER_OK, true},
        {"trailing backslash", "C:\\a\\", FOLDER_INVALID, true},
        {"doubled backslash after the root", "C:\\\\a", FOLDER_INVALID, false},
        {"doubled backslash inside", "C:\\a\\\\b", FOLDER_INVALID, false},
        {"doubled trailing backslash", "C:\\a\\\\", FOLDER_INVALID, false},
        {"forward slash inside", "C:\\a/b", FOLDER_INVALID, false},
        {"leading space", "C:\\ a\\b", FOLDER_INVALID, true},
        {"trailing space of a middle name", "C:\\a \\b", FOLDER_INVALID, false},
        {"trailing tab", "C:\\a\\b\t", FOLDER_INVALID, false},
        {"trailing full stop", "C:\\a.\\b", FOLDER_INVALID, false},
        {"dot folder", "C:\\a\\.\\b", FOLDER_INVALID, false},
        {"parent folder", "C:\\a\\..\\b", FOLDER_INVALID, false},
        {"network share", "\\\\server\\share\\a", FOLDER_INVALID, false},
        {"relative", "a\\b", FOLDER_INVALID, false},
        {"dot relative", ".\\a", FOLDER_INVALID, false},
        {"rooted without drive", "\\a\\b", FOLDER_INVALID, false},
        {"longest path that fits", longest.c_str(), FOLDER_OK, true},
        {"one byte too long for the platform", tooLong.c_str(), FOLDER_INVALID, false},
        {"far longer than any buffer", huge.c_str(), FOLDER_INVALID, false},
        // Names Windows makes, which a user may not type into the chooser.
        {"dot folder name", "C:\\Users\\me\\.cache\\qx", FOLDER_INVALID, true},
        {"dot folder under the root, blanks and Hangul", "C:\\.x\\설치 폴더", FOLDER_INVALID, true},
        {"control byte", "C:\\a\x01" "b", FOLDER_OK, false},
        {"reserved character", "C:\\a*b", FOLDER_INVALID, false},
        {"stream name", "C:\\a:b", FOLDER_INVALID, false},
        {"device name", "C:\\x\\nul", FOLDER_OK, false},
        {"device name with an extension", "C:\\x\\COM1.txt", FOLDER_OK, false},
        {"device name with blanks before the extension", "C:\\Lpt9 .x", FOLDER_OK, false},
        {"more than a device name", "C:\\CONSOLE\\COM10", FOLDER_OK, true},
        {"device path", "\\\\.\\C:\\qxLoader", FOLDER_INVALID, false},
        {"long-path form", "\\\\?\\C:\\qxLoader", FOLDER_INVALID, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CheckPathForm(c.path), c.expected);
        EXPECT_EQ(IsLocalFolderPath(c.path), c.recorded);
    }
}
