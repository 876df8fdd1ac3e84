// The framework layer against the real platform under the Korean code page: strings that outgrow
// any fixed buffer, files and the existence test, BSTR conversion, the module title, the
// application object's attach and detach, and the application message box.
#include <gtest/gtest.h>

#include <windows.h>

#include <oleauto.h>

#include <string>

#include "framework/AppMessageBox.h"
#include "framework/BstrText.h"
#include "framework/CString.h"
#include "framework/File.h"
#include "framework/FileFind.h"
#include "framework/SystemLibrary.h"
#include "framework/WinApp.h"
#include "support/TestEnv.h"
#include "support/UiHelper.h"

namespace {

// "한글" as the compiler writes it with -fexec-charset=CP949, and as the platform converts it.
const char kHangulCp949[] = "\xC7\xD1\xB1\xDB";

std::string Repeat(const std::string& piece, size_t times)
{
    std::string out;
    for (size_t i = 0; i < times; ++i) out += piece;
    return out;
}

// Long texts: where they differ, not both of them in full.
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected)
{
    if (actual == expected) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    return ::testing::AssertionFailure() << actual.size() << " bytes where " << expected.size()
                                         << " were expected, first difference at byte " << at;
}

// A folder of its own below the run's state folder, emptied for every test.
std::string ScratchDir(const std::string& name)
{
    const std::string dir = testenv::StatePath("framework\\" + name);
    testenv::RemoveTree(dir);
    EXPECT_TRUE(testenv::MakeDirs(dir)) << dir;
    return dir;
}

TEST(FrameworkEnvironment, AnsiCodePageIsKorean)
{
    // Every CP949 expectation in the tests rests on this.
    ASSERT_EQ(::GetACP(), 949u);
    EXPECT_STREQ("한글", kHangulCp949);
    EXPECT_FALSE(testenv::StateDir().empty()) << "QX_TEST_STATE is not set";
}

TEST(FrameworkCString, FormatIsAsLongAsItsResult)
{
    const std::string longAscii(5000, 'x');
    const std::string longKorean = Repeat("한글", 1500);  // 6000 bytes of double-byte text
    struct Case {
        const char* name;
        CString result;
        std::string expected;
    };
    CString ascii, korean, mixed, number;
    ascii.Format("%s", longAscii.c_str());
    korean.Format("[%s]", longKorean.c_str());
    mixed.Format("%d %s %c%s", 42, "다운로드", 'A', longAscii.c_str());
    number.Format("%08.3f|%-5s|%x", 3.14159, "ab", 255u);
    const Case cases[] = {
        {"5000 ASCII characters", ascii, longAscii},
        {"6000 bytes of CP949", korean, "[" + longKorean + "]"},
        {"several arguments", mixed, "42 다운로드 A" + longAscii},
        {"printf conversions", number, "0003.142|ab   |ff"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.result.GetLength(), static_cast<int>(c.expected.size()));
        EXPECT_TRUE(SameBytes(c.result.Str(), c.expected));
    }
}

TEST(FrameworkCString, FormatReplacesAndMayUseItsOwnText)
{
    CString s("한글");
    s.Format("<%s>", s.GetString());  // the argument is the text being replaced
    EXPECT_EQ(s.Str(), std::string("<") + kHangulCp949 + ">");

    s.Format("%s", "");
    EXPECT_TRUE(s.IsEmpty());
}

TEST(FrameworkCString, KeepsCp949BytesThroughConcatenation)
{
    CString s = CString("한") + "글";
    EXPECT_EQ(s.Str(), kHangulCp949);
    EXPECT_EQ(s.GetLength(), 4);
    EXPECT_EQ(static_cast<unsigned char>(s.GetAt(0)), 0xC7);
}

TEST(FrameworkFile, WriteThenReadGivesTheSameBytes)
{
    const std::string dir = ScratchDir("file");
    // A Korean file name and bytes of every value, more than one read buffer long.
    const std::string path = dir + "\\한글 파일.bin";
    std::string bytes;
    for (int i = 0; i < 70000; ++i) bytes += static_cast<char>((i * 7) & 0xFF);

    {
        CFile file;
        ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite));
        EXPECT_TRUE(file.Write(bytes.data(), static_cast<UINT>(bytes.size())));
    }  // closed with its owner: the read below must see every byte

    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead));
    std::string read;
    char chunk[4096];
    for (UINT n; (n = file.Read(chunk, sizeof chunk)) > 0;) read.append(chunk, n);
    EXPECT_TRUE(SameBytes(read, bytes));
    EXPECT_EQ(file.Read(chunk, sizeof chunk), 0u) << "past the end";
}

TEST(FrameworkFile, CreateTruncatesAnExistingFile)
{
    const std::string path = ScratchDir("truncate") + "\\data.txt";
    ASSERT_TRUE(testenv::WriteFileBytes(path, std::string(1000, 'o')));
    {
        CFile file;
        ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite));
        ASSERT_TRUE(file.Write("new", 3));
    }
    EXPECT_EQ(testenv::ReadFileBytes(path), "new");
}

TEST(FrameworkFile, OpenFailsWhereThereIsNoFile)
{
    const std::string dir = ScratchDir("missing");
    struct Case {
        const char* name;
        std::string path;
        UINT flags;
    };
    const Case cases[] = {
        {"create in a missing folder", dir + "\\no such folder\\x.bin", CFile::modeCreate | CFile::modeWrite},
        {"read a missing file", dir + "\\absent.bin", CFile::modeRead},
        {"write a missing file without create", dir + "\\absent.bin", CFile::modeWrite},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFile file;
        EXPECT_FALSE(file.Open(c.path.c_str(), c.flags));
        EXPECT_FALSE(file.IsOpen());
        char byte = 0;
        EXPECT_FALSE(file.Write("x", 1));
        EXPECT_EQ(file.Read(&byte, 1), 0u);
    }
    EXPECT_FALSE(testenv::FileExists(dir + "\\absent.bin")) << "a failed open must not create the file";
}

TEST(FrameworkFileFind, FindsExactlyWhatExists)
{
    const std::string dir = ScratchDir("find");
    ASSERT_TRUE(testenv::MakeDirs(dir + "\\한글폴더"));
    ASSERT_TRUE(testenv::WriteFileBytes(dir + "\\한글폴더\\setup.exe", "MZ"));
    struct Case {
        const char* name;
        std::string path;
        bool found;
        bool directory;
        std::string fileName;
    };
    const Case cases[] = {
        {"a file", dir + "\\한글폴더\\setup.exe", true, false, "setup.exe"},
        {"a folder", dir + "\\한글폴더", true, true, "한글폴더"},
        {"a missing file", dir + "\\한글폴더\\other.exe", false, false, ""},
        {"a file in a missing folder", dir + "\\없는폴더\\setup.exe", false, false, ""},
        {"a missing folder", dir + "\\없는폴더", false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFileFind finder;
        ASSERT_EQ(finder.FindFile(c.path.c_str()), c.found);
        if (!c.found) continue;
        EXPECT_EQ(finder.IsDirectory(), c.directory);
        EXPECT_EQ(finder.GetFileName().Str(), c.fileName);
        EXPECT_FALSE(finder.FindNextFile()) << "an exact path matches one entry";
    }
}

// A BSTR that is freed on every path.
class Bstr {
public:
    Bstr() = default;
    Bstr(const wchar_t* text, UINT length) : m_bstr(::SysAllocStringLen(text, length)) {}
    ~Bstr() { ::SysFreeString(m_bstr); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return m_bstr; }

private:
    BSTR m_bstr = nullptr;
};

TEST(FrameworkBstr, ConvertsToTheAnsiCodePage)
{
    ASSERT_EQ(::GetACP(), 949u);
    const std::wstring longKorean(5000, L'\xD55C');  // 5000 × "한": 10000 bytes, twice the characters
    struct Case {
        const char* name;
        std::wstring text;  // may hold NULs: the BSTR gets its full length
        bool null;
        std::string expected;
    };
    const Case cases[] = {
        {"null BSTR", L"", true, ""},
        {"empty BSTR", L"", false, ""},
        {"ASCII", L"http://127.0.0.1/setup.exe", false, "http://127.0.0.1/setup.exe"},
        {"Korean", L"한글", false, kHangulCp949},
        {"mixed", L"A한글B", false, std::string("A") + kHangulCp949 + "B"},
        {"embedded NUL ends the text", std::wstring(L"ab\0cd", 5), false, "ab"},
        {"long double-byte text", longKorean, false, Repeat("\xC7\xD1", 5000)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.null) {
            EXPECT_EQ(AnsiFromBstr(nullptr).Str(), c.expected);
            continue;
        }
        Bstr bstr(c.text.data(), static_cast<UINT>(c.text.size()));
        ASSERT_NE(bstr.Get(), nullptr);
        EXPECT_TRUE(SameBytes(AnsiFromBstr(bstr.Get()).Str(), c.expected));
    }
}

TEST(FrameworkApp, ModuleTitleIsTheFileNameWithoutExtension)
{
    EXPECT_EQ(AfxModuleTitle(nullptr).Str(), "qxtests");
    EXPECT_EQ(AfxModuleTitle(::GetModuleHandleA("kernel32.dll")).Str(), "kernel32");
    const std::string path = AfxModulePath(nullptr).Str();
    ASSERT_GT(path.size(), 12u);
    EXPECT_EQ(lstrcmpiA(path.substr(path.size() - 12).c_str(), "\\qxtests.exe"), 0) << path;
    // A program without an application object: the message box title comes from the program.
    EXPECT_EQ(AfxGetApp(), nullptr);
    EXPECT_EQ(AfxGetAppName().Str(), "qxtests");
    EXPECT_EQ(AfxGetInstanceHandle(), ::GetModuleHandleA(nullptr));
}

class CountingApp : public CWinApp {
public:
    BOOL InitInstance() override {
        ++inits;
        return initResult;
    }
    int ExitInstance() override {
        ++exits;
        return 0;
    }
    BOOL initResult = TRUE;
    int inits = 0;
    int exits = 0;
};

TEST(FrameworkApp, AttachedModuleProvidesResourcesAndTitle)
{
    // Any loaded module stands in for the DLL: what matters is that it is not the program.
    HMODULE hModule = ::GetModuleHandleA("kernel32.dll");
    ASSERT_NE(hModule, nullptr);
    {
        CountingApp app;
        EXPECT_EQ(AfxGetApp(), &app);
        EXPECT_TRUE(AfxDllAttach(hModule));
        EXPECT_EQ(app.inits, 1);
        EXPECT_EQ(app.m_hInstance, hModule);
        EXPECT_EQ(AfxGetInstanceHandle(), hModule);
        EXPECT_EQ(AfxGetAppName().Str(), "kernel32");

        AfxDllDetach();
        EXPECT_EQ(app.exits, 1);
        EXPECT_EQ(AfxGetInstanceHandle(), ::GetModuleHandleA(nullptr));
    }
    EXPECT_EQ(AfxGetApp(), nullptr);
}

TEST(FrameworkApp, FailedInitInstanceFailsTheAttach)
{
    CountingApp app;
    app.initResult = FALSE;
    EXPECT_FALSE(AfxDllAttach(::GetModuleHandleA("kernel32.dll")));
    AfxDllDetach();
}

TEST(FrameworkMessageBox, CaptionTextIconAndAnswer)
{
    ASSERT_EQ(::GetACP(), 949u);
    // System icons are shared: the box's icon handle is the one LoadIcon gives for the same id.
    const HICON exclamation = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32515) /*IDI_EXCLAMATION*/);
    const HICON question = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32514) /*IDI_QUESTION*/);
    const HICON hand = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32513) /*IDI_HAND*/);
    ASSERT_TRUE(exclamation && question && hand);
    ASSERT_NE(exclamation, question);

    struct Case {
        const char* name;
        const char* text;
        UINT type;
        HICON icon;
        int button;  // what the watcher clicks, and so what the box answers
    };
    const Case cases[] = {
        {"OK box gets the exclamation icon", "디스크 공간이 부족합니다.", MB_OK, exclamation, IDOK},
        {"OK/Cancel box too", "설치를 취소하시겠습니까?", MB_OKCANCEL, exclamation, IDCANCEL},
        {"yes/no box gets the question icon", "다시 시도하시겠습니까?", MB_YESNO, question, IDYES},
        {"the caller's icon is kept", "오류", MB_OK | MB_ICONHAND, hand, IDOK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui::Watcher watcher([&] {
            SCOPED_TRACE(c.name);
            HWND box = ui::WaitForWindow("qxtests");
            ASSERT_NE(box, nullptr) << "no message box captioned with the program title";
            EXPECT_EQ(ui::GetMessageBoxText(box), c.text);
            EXPECT_EQ(ui::MessageBoxIcon(box), c.icon);
            EXPECT_TRUE(ui::ClickButton(box, c.button));
            EXPECT_TRUE(ui::WaitForWindowGone(box));
        });
        EXPECT_EQ(AfxMessageBox(c.text, c.type), c.button);
    }
}

// Where the platform does not know LOAD_LIBRARY_SEARCH_SYSTEM32, a system DLL is loaded by its
// full path in the system folder, and still only from there.
std::wstring g_loadedPath;
HMODULE WINAPI LoaderWithoutTheSearchFlag(LPCWSTR name, HANDLE file, DWORD flags)
{
    if (flags & LOAD_LIBRARY_SEARCH_SYSTEM32) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    g_loadedPath = name;
    return ::LoadLibraryExW(name, file, flags);
}

TEST(FrameworkSystemLibrary, LoadsByFullPathWhereTheSearchFlagIsUnknown)
{
    wchar_t system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    UniqueLibrary library = LoadSystemLibrary(L"bcrypt.dll", LoaderWithoutTheSearchFlag);
    EXPECT_TRUE(library && ::GetProcAddress(library.Get(), "BCryptHashData"));
    EXPECT_EQ(std::wstring(system, n) + L"\\bcrypt.dll", g_loadedPath);
    EXPECT_FALSE(LoadSystemLibrary(L"qxNoSuchSystem.dll", LoaderWithoutTheSearchFlag));
}

}  // namespace
