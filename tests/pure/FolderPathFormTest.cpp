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
    };
    const Case cases[] = {
        {"no path", nullptr, FOLDER_INVALID},
        {"empty", "", FOLDER_INVALID},
        {"drive without backslash", "C:", FOLDER_INVALID},
        {"drive root", "C:\\", FOLDER_OK},
        {"lower-case drive root", "d:\\", FOLDER_OK},
        {"root of a drive that may be missing", "Y:\\", FOLDER_OK},
        {"forward slash after the drive", "C:/", FOLDER_INVALID},
        {"drive-relative", "C:a", FOLDER_INVALID},
        {"digit for a drive letter", "1:\\a", FOLDER_INVALID},
        {"one folder", "C:\\a", FOLDER_OK},
        {"three folders", "C:\\a\\b\\c", FOLDER_OK},
        {"blanks and Hangul", "D:\\Program Files\\한글 폴더", FOLDER_OK},
        {"trailing backslash", "C:\\a\\", FOLDER_INVALID},
        {"doubled backslash after the root", "C:\\\\a", FOLDER_INVALID},
        {"doubled backslash inside", "C:\\a\\\\b", FOLDER_INVALID},
        {"forward slash inside", "C:\\a/b", FOLDER_INVALID},
        {"leading space", "C:\\ a\\b", FOLDER_INVALID},
        {"trailing space of a middle name", "C:\\a \\b", FOLDER_INVALID},
        {"trailing tab", "C:\\a\\b\t", FOLDER_INVALID},
        {"trailing full stop", "C:\\a.\\b", FOLDER_INVALID},
        {"dot folder", "C:\\a\\.\\b", FOLDER_INVALID},
        {"parent folder", "C:\\a\\..\\b", FOLDER_INVALID},
        {"network share", "\\\\server\\share\\a", FOLDER_INVALID},
        {"relative", "a\\b", FOLDER_INVALID},
        {"dot relative", ".\\a", FOLDER_INVALID},
        {"rooted without drive", "\\a\\b", FOLDER_INVALID},
        {"longest path that fits", longest.c_str(), FOLDER_OK},
        {"one byte too long for the platform", tooLong.c_str(), FOLDER_INVALID},
        {"far longer than any buffer", huge.c_str(), FOLDER_INVALID},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CheckPathForm(c.path), c.expected);
    }
}
