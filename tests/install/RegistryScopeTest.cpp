// Which keys a description may make the installer read or write, case by case.
#include <gtest/gtest.h>

#include "install/RegistryScope.h"

TEST(RegistryScope, OnlyTheLoadersOwnKeysAreInScope)
{
    struct Case {
        const char* root;
        const char* key;
        bool inScope;
    };
    const Case cases[] = {
        // The loader's record in either hive, at any depth and in any case.
        {"HKEY_CURRENT_USER", "SOFTWARE\\Tessaron", true},
        {"HKEY_CURRENT_USER", "software\\tessaron\\qxLoader", true},
        {"HKEY_LOCAL_MACHINE", "Software\\TESSARON\\a\\b c\\한글", true},
        {"HKEY_CURRENT_USER", "SOFTWARE\\Tessaron\\...", true},
        // The document type: the extension key itself, the type with everything below it.
        {"HKEY_CLASSES_ROOT", ".qxl", true},
        {"HKEY_CLASSES_ROOT", ".QXL", true},
        {"HKEY_CLASSES_ROOT", "qxl_auto_file", true},
        {"HKEY_CLASSES_ROOT", "QXL_Auto_File\\shell\\open\\command", true},
        {"HKEY_CLASSES_ROOT", ".qxl\\shell\\open\\command", false},
        // Below the type only its verbs and their commands.
        {"HKEY_CLASSES_ROOT", "qxl_auto_file\\Shell\\Print", true},
        {"HKEY_CLASSES_ROOT", "qxl_auto_file\\CurVer", false},
        {"HKEY_CURRENT_USER", "Software\\Classes\\qxl_auto_file\\shellex\\DropHandler", false},
        {"HKEY_CLASSES_ROOT", "qxl_auto_file\\shell\\open\\DropTarget", false},
        {"HKEY_CLASSES_ROOT", "qxl_auto_file\\shell\\open\\command\\x", false},
        // The document type per user and per machine; never the site lock's own list.
        {"HKEY_CURRENT_USER", "Software\\Classes\\.QXL", true},
        {"HKEY_CURRENT_USER", "Software\\Classes\\.qxl\\shell", false},
        {"HKEY_LOCAL_MACHINE", "SOFTWARE\\CLASSES\\qxl_auto_file\\shell\\open\\command", true},
        {"HKEY_CURRENT_USER", "Software\\Classes\\txtfile\\shell\\open\\command", false},
        {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Tessaron\\qxChecker", false},
        {"HKEY_CURRENT_USER", "software\\tessaron\\QXCHECKER\\x", false},
        {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Tessaron\\qxCheckerX", true},
        // Whole components only.
        {"HKEY_CURRENT_USER", "SOFTWARE\\Tessaron2", false},
        {"HKEY_CURRENT_USER", "SOFTWARE\\TessaronX\\qxLoader", false},
        {"HKEY_CURRENT_USER", "SOFTWARE\\Tessaro", false},
        {"HKEY_CURRENT_USER", "SOFTWARE Tessaron", false},
        {"HKEY_CLASSES_ROOT", "qxl_auto_file2", false},
        {"HKEY_CLASSES_ROOT", ".qxl2", false},
        {"HKEY_CURRENT_USER", "SOFTWARE", false},
        {"HKEY_CURRENT_USER", "Tessaron", false},
        {"HKEY_CURRENT_USER", "", false},
        {"HKEY_CURRENT_USER", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", false},
        {"HKEY_CLASSES_ROOT", "txtfile\\shell\\open\\command", false},
        // Empty, "." and ".." components.
        {"HKEY_CURRENT_USER", "\\SOFTWARE\\Tessaron", false},
        {"HKEY_CURRENT_USER", "SOFTWARE\\Tessaron\\", false},
        {"HKEY_CURRENT_USER", "SOFTWARE\\\\Tessaron", false},
        {"HKEY_CURRENT_USER", "SOFTWARE\\Tessaron\\\\qxLoader", false},
        {"HKEY_CURRENT_USER", "SOFTWARE\\Tessaron\\.", false},
        {"HKEY_CURRENT_USER", "SOFTWARE\\.\\Tessaron", false},
        {"HKEY_CURRENT_USER", "SOFTWARE\\Tessaron\\..\\Evil", false},
        {"HKEY_CLASSES_ROOT", "qxl_auto_file\\..\\txtfile", false},
        // Root names are exact, and each root has its own keys.
        {"hkey_current_user", "SOFTWARE\\Tessaron", false},
        {"HKEY_CURRENT_USER ", "SOFTWARE\\Tessaron", false},
        {"HKEY_USERS", "SOFTWARE\\Tessaron", false},
        {"HKEY_CLASSES_ROOT", "SOFTWARE\\Tessaron", false},
        {"HKEY_CURRENT_USER", ".qxl", false},
        {"HKEY_LOCAL_MACHINE", "qxl_auto_file", false},
        {"Program", "", false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.inScope, IsKeyInRegistryScope(c.root, c.key)) << c.root << " | " << c.key;
    EXPECT_FALSE(IsKeyInRegistryScope(nullptr, "SOFTWARE\\Tessaron"));
    EXPECT_FALSE(IsKeyInRegistryScope("HKEY_CURRENT_USER", nullptr));
}
