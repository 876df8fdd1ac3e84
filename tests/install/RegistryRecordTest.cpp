// The loader's registry record against Wine's real registry: the accessor's reads and writes with
// their 1024-byte buffer, the root key names, and the judgement of an installed loader against a
// description. Each test works under a scratch key and a scratch folder of its own.
#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <string>
#include <vector>

#include "description/DescriptionFile.h"
#include "framework/Handles.h"
#include "install/InstallDlg.h"
#include "install/RegValue.h"
#include "support/TestEnv.h"

namespace {

const char kTestRoot[] = "Software\\Tessaron\\qxCheckerTest";

// A registry key and a folder of the running test's own, both empty at the start and removed
// at the end.
class RegistryRecordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_key = std::string(kTestRoot) + "\\" + name;
        ::RegDeleteTreeA(HKEY_CURRENT_USER, m_key.c_str());
        m_dir = testenv::StatePath("registry\\" + name);
        testenv::RemoveTree(m_dir);
        ASSERT_TRUE(testenv::MakeDirs(m_dir)) << m_dir;
    }
    void TearDown() override
    {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, m_key.c_str());
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kTestRoot);  // only when no other test's key is left
        testenv::RemoveTree(m_dir);
    }

    // Sets a value the way something other than the accessor would.
    void SetValue(const std::string& subkey, const char* name, DWORD type, const void* data, DWORD size)
    {
        UniqueRegKey key;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, Key(subkey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    key.Put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExA(key.Get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    void SetString(const std::string& subkey, const char* name, const std::string& text)
    {
        SetValue(subkey, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    void SetDword(const std::string& subkey, const char* name, DWORD value)
    {
        SetValue(subkey, name, REG_DWORD, &value, 4);
    }

    // The type and data of a value, read without the accessor; type REG_NONE when it is missing.
    std::pair<DWORD, std::string> Stored(const std::string& subkey, const char* name)
    {
        UniqueRegKey key;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, Key(subkey).c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
            return {REG_NONE, ""};
        std::string data(4096, '\0');
        DWORD type = 0, size = static_cast<DWORD>(data.size());
        if (::RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) !=
            ERROR_SUCCESS)
            return {REG_NONE, ""};
        data.resize(size);
        return {type, data};
    }

    // The scratch key, or a key below it.
    std::string Key(const std::string& subkey = "") const { return subkey.empty() ? m_key : m_key + "\\" + subkey; }

    std::string m_key;
    std::string m_dir;
};

TEST_F(RegistryRecordTest, WritesCreateKeysAndStoreTheirTypes)
{
    CRegValue reg;
    const char kPath[] = "C:\\설치 폴더";
    const int number = -7;
    const BYTE flag[4] = {0x00, 0x00, 0x01, 0x00};
    EXPECT_EQ(reg.WriteString(HKEY_CURRENT_USER, Key("a\\b\\c").c_str(), "Path", kPath), 1);
    EXPECT_EQ(reg.WriteString(HKEY_CURRENT_USER, Key("a\\b\\c").c_str(), "", ""), 1);
    EXPECT_EQ(reg.WriteDword(HKEY_CURRENT_USER, Key("a").c_str(), "Version", &number), 1);
    EXPECT_EQ(reg.WriteBinary(HKEY_CURRENT_USER, Key("qxl_auto_file").c_str(), "EditFlags", flag), 1);

    EXPECT_EQ(Stored("a\\b\\c", "Path"), std::make_pair(DWORD(REG_SZ), std::string(kPath, sizeof kPath)));
    EXPECT_EQ(Stored("a\\b\\c", ""), std::make_pair(DWORD(REG_SZ), std::string("", 1))) << "the default value";
    EXPECT_EQ(Stored("a", "Version"), std::make_pair(DWORD(REG_DWORD), std::string("\xF9\xFF\xFF\xFF", 4)));
    EXPECT_EQ(Stored("qxl_auto_file", "EditFlags"), std::make_pair(DWORD(REG_BINARY), std::string("\0\0\1\0", 4)));

    // What was written reads back.
    const char* text = reg.ReadString(HKEY_CURRENT_USER, Key("a\\b\\c").c_str(), "Path");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, kPath);
    EXPECT_EQ(reg.ReadDword(HKEY_CURRENT_USER, Key("a").c_str(), "Version"), -7);
    EXPECT_EQ(reg.ReadDword(HKEY_CURRENT_USER, Key("qxl_auto_file").c_str(), "EditFlags"), 0x00010000);

    // A second write replaces.
    EXPECT_EQ(reg.WriteString(HKEY_CURRENT_USER, Key("a\\b\\c").c_str(), "Path", "D:\\x"), 1);
    EXPECT_STREQ(reg.ReadString(HKEY_CURRENT_USER, Key("a\\b\\c").c_str(), "Path"), "D:\\x");
}

TEST_F(RegistryRecordTest, FailuresAreReportedByResultOnly)
{
    CRegValue reg;
    const int number = 1;
    const BYTE flag[4] = {1, 0, 0, 0};
    SetString("", "there", "x");
    struct Case {
        const char* name;
        HKEY root;
        std::string key;
        const char* value;
    };
    const Case reads[] = {
        {"no root", nullptr, Key(), "there"},
        {"missing key", HKEY_CURRENT_USER, Key("absent"), "there"},
        {"missing value", HKEY_CURRENT_USER, Key(), "absent"},
    };
    for (const Case& c : reads) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(reg.ReadString(c.root, c.key.c_str(), c.value), nullptr);
        EXPECT_EQ(reg.ReadDword(c.root, c.key.c_str(), c.value), -1);
    }
    EXPECT_EQ(reg.WriteString(nullptr, Key().c_str(), "n", "v"), 0);
    EXPECT_EQ(reg.WriteDword(nullptr, Key().c_str(), "n", &number), 0);
    EXPECT_EQ(reg.WriteBinary(nullptr, Key().c_str(), "n", flag), 0);
    EXPECT_EQ(reg.WriteDword(HKEY_CURRENT_USER, Key().c_str(), "n", nullptr), 0);
    EXPECT_EQ(Stored("", "n").first, DWORD(REG_NONE)) << "nothing was written";
}

TEST_F(RegistryRecordTest, AnEmptyKeyPathIsTheGivenKeyWhichStaysOpen)
{
    SetString("", "seed", "x");
    UniqueRegKey mine;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, Key().c_str(), 0, KEY_ALL_ACCESS, mine.Put()), ERROR_SUCCESS);
    CRegValue reg;
    const int number = 3;
    // Each call may be handed back the very key given to it: it must not close it.
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(reg.WriteDword(mine.Get(), "", "n", &number), 1);
        EXPECT_EQ(reg.ReadDword(mine.Get(), "", "n"), 3);
        EXPECT_STREQ(reg.ReadString(mine.Get(), nullptr, "seed"), "x");
    }
    EXPECT_EQ(Stored("", "n").first, DWORD(REG_DWORD));
}

TEST_F(RegistryRecordTest, ReadsStayInsideTheBufferAndAreTerminated)
{
    CRegValue reg;
    const std::string full1023(1023, 'p');
    const std::string raw1024(1024, 'q');
    const std::string raw1025(1025, 'r');
    SetString("", "fits", full1023);                                        // 1024 bytes with its zero
    SetValue("", "filled", REG_BINARY, raw1024.data(), 1024);               // the whole buffer, no zero
    SetValue("", "larger", REG_BINARY, raw1025.data(), 1025);               // more than the buffer
    SetValue("", "unterminated", REG_BINARY, "abc", 3);                     // text stored without a zero
    SetValue("", "short", REG_BINARY, "\x05", 1);                           // less than four bytes
    SetValue("", "empty", REG_BINARY, "", 0);
    SetString("", "text", "1234");

    const char* fits = reg.ReadString(HKEY_CURRENT_USER, Key().c_str(), "fits");
    ASSERT_NE(fits, nullptr);
    EXPECT_EQ(std::string(fits), full1023);
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, Key().c_str(), "filled"), nullptr)
        << "no room for the terminating zero: unreadable";
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, Key().c_str(), "larger"), nullptr);
    EXPECT_EQ(reg.ReadDword(HKEY_CURRENT_USER, Key().c_str(), "larger"), -1);

    // A long read first, so that anything left over in the buffer would show.
    ASSERT_NE(reg.ReadString(HKEY_CURRENT_USER, Key().c_str(), "fits"), nullptr);
    const char* unterminated = reg.ReadString(HKEY_CURRENT_USER, Key().c_str(), "unterminated");
    ASSERT_NE(unterminated, nullptr);
    EXPECT_STREQ(unterminated, "abc");

    ASSERT_NE(reg.ReadString(HKEY_CURRENT_USER, Key().c_str(), "fits"), nullptr);
    EXPECT_EQ(reg.ReadDword(HKEY_CURRENT_USER, Key().c_str(), "short"), 5);
    ASSERT_NE(reg.ReadString(HKEY_CURRENT_USER, Key().c_str(), "fits"), nullptr);
    EXPECT_EQ(reg.ReadDword(HKEY_CURRENT_USER, Key().c_str(), "empty"), 0);
    EXPECT_STREQ(reg.ReadString(HKEY_CURRENT_USER, Key().c_str(), "empty"), "");

    // A number read from text takes the text's first four bytes.
    EXPECT_EQ(reg.ReadDword(HKEY_CURRENT_USER, Key().c_str(), "text"), 0x34333231);
}

TEST(RegistryRecordRootKey, NamesAreExactAndCaseSensitive)
{
    CInstallDlg dlg;
    struct Case {
        const char* name;
        HKEY root;
    };
    const Case cases[] = {
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKEY_USERS", nullptr},
        {"hkey_current_user", nullptr},
        {"HKEY_CURRENT_USER ", nullptr},
        {"HKCU", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) EXPECT_EQ(dlg.RootKeyFromName(c.name), c.root) << "[" << c.name << "]";
}

// The judgement of an installed loader. Each case writes a description naming the scratch key,
// prepares the registry and the disk, and runs the comparison from the install root that the
// driver would have set.
class RegistryRecordCompare : public RegistryRecordTest {
protected:
    // The install directory that cases record, and the root the driver set before comparing.
    std::string InstallDir() const { return m_dir + "\\설치"; }
    std::string RootDir() const { return m_dir + "\\root"; }

    void MakeLoader(const std::string& dir)
    {
        ASSERT_TRUE(testenv::MakeDirs(dir));
        ASSERT_TRUE(testenv::WriteFileBytes(dir + "\\qxLoader.exe", "MZ"));
    }

    // The description text, with "$KEY" standing for the scratch key.
    int Compare(const std::string& text) { return Compare(text, m_dlg); }
    int Compare(std::string text, CInstallDlg& dlg)
    {
        for (size_t at; (at = text.find("$KEY")) != std::string::npos;) text.replace(at, 4, m_key);
        const std::string path = m_dir + "\\temp.ini";
        EXPECT_TRUE(testenv::WriteFileBytes(path, text));
        CDescriptionFile file;
        EXPECT_TRUE(file.Load(path.c_str()));
        dlg.m_strPath = RootDir().c_str();
        m_found = dlg.CompareInstalled(file);
        return m_found.verdict;
    }

    // Everything a full installation of the usual description leaves, with version `version`.
    void Install(DWORD version)
    {
        SetString("", "Path", InstallDir());
        SetDword("", "Version", version);
        SetString("shell\\open\\command", "", "x");
        MakeLoader(InstallDir());
    }

    static std::string Usual(const char* version)
    {
        return std::string("[Program]\n\"downurl\"=\"http://host/qxLoader.exe\"\n"
                           "[HKEY_CURRENT_USER\\$KEY]\n\"Path\"=\"C:\\qxLoader\"\n\"Version\"=") +
               version + "\n[HKEY_CURRENT_USER\\$KEY\\shell\\open\\command]\n[Other]\n";
    }

    CInstallDlg m_dlg;
    InstallComparison m_found;  // the last comparison's
};

TEST_F(RegistryRecordCompare, FirstRunNeedsAFullInstallation)
{
    EXPECT_EQ(Compare(Usual("4")), INSTALL_FULL);
    EXPECT_EQ(m_found.strDownURL, "http://host/qxLoader.exe");
}

TEST_F(RegistryRecordCompare, DescriptionsAgainstAnInstalledLoader)
{
    Install(4);
    const std::string usual = Usual("4");
    const std::string url = "http://host/qxLoader.exe";
    struct Case {
        const char* name;
        std::string text;
        int result;
        int newVersion, oldVersion;
        std::string downURL;
    };
    const Case cases[] = {
        {"everything there in the offered version", usual, INSTALL_CURRENT, 4, 4, url},
        {"a Path entry of number type is not tested for presence, but read",
         "[HKEY_CURRENT_USER\\$KEY]\nPath=0\nVersion=4\n", INSTALL_CURRENT, 4, 4, ""},
        {"sections that do not begin with HKEY are ignored",
         usual + "[hkey_current_user\\$KEY]\n\"Missing\"=\"v\"\n[Other\\$KEY]\n\"Gone\"=\"v\"\n", INSTALL_CURRENT, 4,
         4, url},
        {"value names as the registry compares them", "[HKEY_CURRENT_USER\\$KEY]\n\"PATH\"=\"x\"\nversion=4\n",
         INSTALL_CURRENT, 4, 4, ""},
        {"no Version entry: no version known on either side", "[HKEY_CURRENT_USER\\$KEY]\n\"Path\"=\"x\"\n",
         INSTALL_CURRENT, -1, -1, ""},
        {"the last downurl of Program counts, names and sections exactly",
         "[Program]\n\"downurl\"=\"first\"\n[program]\n\"downurl\"=\"lower\"\n"
         "[Program]\n\"Downurl\"=\"upper\"\n\"downurl\"=\"second\"\n" + usual.substr(usual.find("[HKEY")),
         INSTALL_CURRENT, 4, 4, "second"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CInstallDlg dlg;
        EXPECT_EQ(Compare(c.text, dlg), c.result);
        EXPECT_EQ(m_found.strPath, InstallDir().c_str()) << "the recorded directory replaces the root";
        EXPECT_EQ(m_found.nNewVersion, c.newVersion);
        EXPECT_EQ(m_found.nOldVersion, c.oldVersion);
        EXPECT_EQ(m_found.strDownURL, c.downURL.c_str());
    }
}

TEST_F(RegistryRecordCompare, UpgradeWhenTheLoaderOrItsVersionIsNotThere)
{
    struct Case {
        const char* name;
        const char* offered;
        int recorded;  // -1: no "Version" value
        bool loader;
        bool dir;
        int newVersion, oldVersion;
    };
    const Case cases[] = {
        {"no loader file", "4", 4, false, true, 4, 4},
        {"no install directory", "4", 4, false, false, 4, 4},
        {"recorded 5, offered 4", "4", 5, true, true, 4, 5},
        {"recorded 4, offered 5", "5", 4, true, true, 5, 4},
        {"no recorded version", "4", -1, true, true, 4, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, m_key.c_str());
        testenv::RemoveTree(InstallDir());
        SetString("", "Path", InstallDir());
        if (c.recorded != -1) SetDword("", "Version", static_cast<DWORD>(c.recorded));
        SetString("shell\\open\\command", "", "x");
        if (c.dir) {
            ASSERT_TRUE(testenv::MakeDirs(InstallDir()));
        }
        if (c.loader) MakeLoader(InstallDir());
        EXPECT_EQ(Compare(Usual(c.offered)), INSTALL_UPGRADE);
        EXPECT_EQ(m_found.strPath, InstallDir().c_str());
        EXPECT_EQ(m_found.nNewVersion, c.newVersion);
        EXPECT_EQ(m_found.nOldVersion, c.oldVersion);
    }
}

TEST_F(RegistryRecordCompare, TheWalkStopsAtTheFirstMissingStringValue)
{
    Install(4);
    SetString("bare", "other", "x");  // the key is there, its default value is not
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"a listed string value is missing",
         "[HKEY_CURRENT_USER\\$KEY]\n\"Missing\"=\"v\"\n[Program]\n\"downurl\"=\"late\"\n"},
        {"the default value under a bare header is missing",
         "[HKEY_CURRENT_USER\\$KEY\\bare]\n[Program]\n\"downurl\"=\"late\"\n"},
        {"a Path entry of number type whose value is missing",
         "[HKEY_CURRENT_USER\\$KEY\\other]\nPath=1\n[Program]\n\"downurl\"=\"late\"\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Compare(c.text), INSTALL_FULL);
        EXPECT_TRUE(m_found.strDownURL.IsEmpty()) << "a downurl after the missing value is not taken";
    }
    EXPECT_TRUE(m_found.strPath.IsEmpty()) << "an unreadable Path empties the directory";
}

// Keys that are not the loader's decide nothing, wherever they stand: a value missing there asks
// for no installation, a Path or Version there is not taken, and the walk goes on past them.
TEST_F(RegistryRecordCompare, KeysOutsideTheLoadersOwnDecideNothing)
{
    Install(4);
    // Another record, with a loader in place, where a hostile description may point.
    const std::string outside = "Software\\qxCheckerTestOutside";
    const std::string elsewhere = m_dir + "\\elsewhere";
    MakeLoader(elsewhere);
    for (const std::string& key : {outside, std::string("Software\\Tessaron\\..\\qxCheckerTestOutside")}) {
        UniqueRegKey hKey;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                   nullptr, hKey.Put(), nullptr));
        const DWORD version = 9;
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(hKey.Get(), "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(elsewhere.c_str()),
                                                  static_cast<DWORD>(elsewhere.size() + 1)));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(hKey.Get(), "Version", 0, REG_DWORD,
                                                  reinterpret_cast<const BYTE*>(&version), 4));
    }
    const std::string record = "\"Path\"=\"x\"\n\"Version\"=9\n";
    struct Case {
        const char* name;
        std::string hostile;
    };
    const Case cases[] = {
        {"a missing string value in a Run key",
         "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\n\"qxMissing\"=\"v\"\n"},
        {"the site lock's own key", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tessaron\\qxChecker]\n\"Missing\"=\"v\"\n"},
        {"a root name in lower case", "[hkey_current_user\\$KEY]\n\"Missing\"=\"v\"\n"},
        {"another record", "[HKEY_CURRENT_USER\\" + outside + "]\n" + record},
        {"another record through ..", "[HKEY_CURRENT_USER\\Software\\Tessaron\\..\\qxCheckerTestOutside]\n" + record},
        {"a look-alike of the record", "[HKEY_CURRENT_USER\\Software\\TessaronX]\n\"Missing\"=\"v\"\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CInstallDlg dlg;
        EXPECT_EQ(INSTALL_CURRENT, Compare(Usual("4") + c.hostile + "[Program]\n\"downurl\"=\"late\"\n", dlg));
        EXPECT_EQ(m_found.strPath, InstallDir().c_str());
        EXPECT_EQ(m_found.nNewVersion, 4);
        EXPECT_EQ(m_found.nOldVersion, 4);
        EXPECT_EQ(m_found.strDownURL, "late") << "the walk goes on";
    }
    ::RegDeleteTreeA(HKEY_CURRENT_USER, outside.c_str());
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tessaron\\..\\qxCheckerTestOutside");
    // A root name that is none of the three is no key of ours either, but nothing can be read
    // there: a string value listed under it asks for the full installation, whose write fails.
    EXPECT_EQ(INSTALL_FULL, Compare(Usual("4") + "[HKEY_USERS\\$KEY]\n\"Missing\"=\"v\"\n"));
}

TEST_F(RegistryRecordCompare, RecordedDirectoryMustBeALocalFolderWithinMaxPath)
{
    // Only a folder on a drive, of at most 259 bytes, with names Windows takes, counts as readable;
    // none of these exists, so a readable one leads to an upgrade. A share would take the loader
    // from its host and hand it the user's credentials at every Check.
    struct Case {
        std::string recorded;
        int result;
    };
    const Case cases[] = {
        {"C:\\" + std::string(256, 'd'), INSTALL_UPGRADE},
        {"C:\\" + std::string(257, 'd'), INSTALL_FULL},
        {"C:\\" + std::string(1020, 'd'), INSTALL_FULL},
        {"\\\\evil.example\\s", INSTALL_FULL},
        {"\\\\?\\C:\\qxLoader", INSTALL_FULL},
        {"\\\\.\\C:\\qxLoader", INSTALL_FULL},
        {"C:qxLoader", INSTALL_FULL},
        {"C:\\.cache\\qx 폴더", INSTALL_UPGRADE},  // Windows makes dot folders; a typed name may not be one
        {"C:\\qxLoader.", INSTALL_FULL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.recorded);
        const std::string& recorded = c.recorded;
        SetString("", "Path", recorded);
        SetDword("", "Version", 4);
        EXPECT_EQ(Compare("[HKEY_CURRENT_USER\\$KEY]\n\"Path\"=\"x\"\nVersion=4\n"), c.result);
        EXPECT_EQ(m_found.strPath, c.result == INSTALL_FULL ? "" : recorded.c_str());
    }
}

TEST_F(RegistryRecordCompare, VersionStoredAsTextIsTakenByItsBytes)
{
    Install(4);
    SetString("", "Version", "4");
    // "4" and its zero: 0x34, far from the 4 offered.
    EXPECT_EQ(Compare(Usual("4")), INSTALL_UPGRADE);
    EXPECT_EQ(m_found.nOldVersion, 0x34);
    // A quoted Version entry is a string entry: present, and read as a number all the same.
    EXPECT_EQ(Compare(Usual("\"52\"")), INSTALL_CURRENT);
}

TEST_F(RegistryRecordCompare, WithoutAPathEntryTheRootIsTested)
{
    SetDword("", "Version", 4);
    EXPECT_EQ(Compare("[HKEY_CURRENT_USER\\$KEY]\nVersion=4\n"), INSTALL_UPGRADE) << "no root folder";
    MakeLoader(RootDir());
    EXPECT_EQ(Compare("[HKEY_CURRENT_USER\\$KEY]\nVersion=4\n"), INSTALL_CURRENT);
    EXPECT_EQ(m_found.strPath, RootDir().c_str());
}

}  // namespace
