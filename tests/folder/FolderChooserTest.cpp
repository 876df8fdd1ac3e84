// The folder chooser: the form of typed paths, the creation of missing folders on a real drive,
// the questions and messages of OK, and the shell's folder browser as the chooser changes it,
// driven under the display the way a user would drive it.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "folder/FolderChooser.h"
#include "folder/FolderChooserWnd.h"
#include "folder/FolderPath.h"
#include "support/TestEnv.h"
#include "support/UiHelper.h"

namespace {

const char kCaption[] = "설치디렉토리 선택";
const char kPrompt[] = "디레토리를 선택하십시요";
// The application message boxes of the test program carry its title.
const char kBoxCaption[] = "qxtests";
// The shell's browse dialog: its folder tree and its status line.
constexpr int kIdTree = 14145;
constexpr int kIdStatus = 14147;

// A folder of its own on drive D:, emptied for every test. D: is a Wine drive of the test
// environment, so paths here are drive-letter paths as a user types them.
std::string Scratch(const std::string& name)
{
    const std::string dir = "D:\\folderchooser\\" + name;
    testenv::RemoveTree(dir);
    EXPECT_TRUE(testenv::MakeDirs(dir)) << dir;
    return dir;
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A drive letter that no drive of the test environment has.
std::string MissingDrive()
{
    const DWORD drives = ::GetLogicalDrives();
    for (char letter = 'Q'; letter <= 'Y'; ++letter)
        if (!(drives & (1u << (letter - 'A')))) return std::string(1, letter) + ":\\";
    return std::string();
}

TEST(FolderPathCreate, MakesMissingLevelsOutermostFirst)
{
    const std::string base = Scratch("create");
    const std::string one = base + "\\one", two = one + "\\두번째", three = two + "\\three";

    EXPECT_EQ(CheckPath(three.c_str(), CHECK_PATH_TEST), FOLDER_OK);
    EXPECT_FALSE(testenv::FileExists(one)) << "test mode makes nothing";

    // The platform makes a folder only inside an existing one, so all three standing proves that
    // each was made after the one around it.
    EXPECT_EQ(CheckPath(three.c_str(), CHECK_PATH_CREATE), FOLDER_OK);
    EXPECT_TRUE(IsFolder(one));
    EXPECT_TRUE(IsFolder(two));
    EXPECT_TRUE(IsFolder(three));
    // Each level made holds the loader's folder: other users may not plant anything in it.
    for (const std::string& level : {one, two, three}) EXPECT_TRUE(testenv::OnlyOwnerAdminsAndSystemMayWrite(level)) << level;

    // Folders that exist already are no failure.
    EXPECT_EQ(CheckPath(three.c_str(), CHECK_PATH_CREATE), FOLDER_OK);
    EXPECT_EQ(CheckPath((base + "\\made\\bad?").c_str(), CHECK_PATH_CREATE), FOLDER_INVALID);
}

TEST(FolderPathCreate, LevelThatCannotBeMadeStopsTheWalk)
{
    struct Case {
        const char* what;
        int fileLevel;  // which of the three levels is a file (1-based); 0 for none
        const char* root;
        int expected;
    };
    const std::string missingDrive = MissingDrive();
    ASSERT_FALSE(missingDrive.empty());
    const Case cases[] = {
        {"a file in place of the second level", 2, nullptr, FOLDER_NOT_CREATABLE},
        // A file is not the folder that was asked for, even where the path ends.
        {"a file in place of the last level", 3, nullptr, FOLDER_NOT_CREATABLE},
        {"a missing drive", 0, missingDrive.c_str(), FOLDER_NOT_CREATABLE},
        {"an existing drive root alone", 0, "D:\\", FOLDER_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.root) {
            EXPECT_EQ(CheckPath(c.root, CHECK_PATH_CREATE), c.expected);
            continue;
        }
        const std::string base = Scratch("blocked");
        const std::string levels[] = {base + "\\one", base + "\\one\\two", base + "\\one\\two\\three"};
        if (c.fileLevel > 1) { ASSERT_TRUE(testenv::MakeDirs(levels[c.fileLevel - 2])); }
        ASSERT_TRUE(testenv::WriteFileBytes(levels[c.fileLevel - 1], "not a folder"));

        EXPECT_EQ(CheckPath(levels[2].c_str(), CHECK_PATH_CREATE), c.expected);
        for (int level = 1; level < c.fileLevel; ++level) EXPECT_TRUE(IsFolder(levels[level - 1])) << level;
        EXPECT_FALSE(IsFolder(levels[c.fileLevel - 1])) << "the file stays a file";
        if (c.fileLevel < 3) { EXPECT_FALSE(testenv::FileExists(levels[2])); }
    }
}

// One message box the user is shown, and the button the user answers it with.
struct Box {
    std::string text;
    int answer;  // IDOK for a report, IDYES or IDNO for the question
};

std::string Question(const std::string& path)
{
    return "폴더 :\n\n" + path + "\n\n가 없습니다. 폴더를 만드시겠습니까?";
}
std::string Invalid(const std::string& path)
{
    return "The folder:\n\n" + path + "\n\nis invalid. Please reenter.";
}
std::string NotCreatable(const std::string& path)
{
    return "The folder:\n\n" + path + "\n\ncan not be created. Please double check.";
}

// Answers the expected boxes in order, with the icon each kind must carry; then, when `done` is
// given and until it is set, any further box is a failure (and is answered, so that the test
// does not hang).
void AnswerBoxes(const std::vector<Box>& boxes, const std::atomic<bool>* done = nullptr)
{
    const HICON exclamation = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32515) /*IDI_EXCLAMATION*/);
    const HICON question = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32514) /*IDI_QUESTION*/);
    for (const Box& expected : boxes) {
        HWND box = ui::WaitForWindow(kBoxCaption);
        ASSERT_NE(box, nullptr) << "no box for: " << expected.text;
        EXPECT_EQ(ui::GetMessageBoxText(box), expected.text);
        const bool bQuestion = expected.answer != IDOK;
        EXPECT_EQ(ui::MessageBoxIcon(box), bQuestion ? question : exclamation);
        if (bQuestion) { EXPECT_NE(ui::FindChildById(box, IDNO), nullptr); }
        EXPECT_TRUE(ui::ClickButton(box, expected.answer));
        EXPECT_TRUE(ui::WaitForWindowGone(box));
    }
    if (!done) return;
    for (int polls = 0; !*done && polls < 500; ++polls) {
        if (HWND extra = ui::WaitForWindow(kBoxCaption, 20)) {
            ADD_FAILURE() << "unexpected box: " << ui::GetMessageBoxText(extra);
            ui::ClickButton(extra, ui::FindChildById(extra, IDNO) ? IDNO : IDOK);
            ui::WaitForWindowGone(extra);
        }
    }
}

TEST(FolderConfirm, AsksCreatesAndReports)
{
    const std::string base = Scratch("confirm");
    const std::string existing = base + "\\existing";
    ASSERT_TRUE(testenv::MakeDirs(existing));
    const std::string file = base + "\\file.txt";
    ASSERT_TRUE(testenv::WriteFileBytes(file, "x"));
    const std::string missing = base + "\\새 폴더\\two\\three";
    const std::string blocked = file + "\\two";
    const std::string missingDrive = MissingDrive() + "qx";
    // The bad name comes after a missing folder: the form is judged before anything is made.
    const std::string bad = base + "\\new\\a|b";
    const std::string tooLong = base + "\\" + std::string(300, 'x');

    enum class Made { Unchecked, Absent, Present };  // the folder afterwards
    struct Case {
        const char* what;
        std::string path;
        std::vector<Box> boxes;
        int expected;
        Made made;
    };
    const Case cases[] = {
        {"an existing folder is taken without a word", existing, {}, FOLDER_OK, Made::Unchecked},
        {"a bad form is reported", bad, {{Invalid(bad), IDOK}}, FOLDER_INVALID, Made::Unchecked},
        {"a path too long for the platform is reported whole", tooLong, {{Invalid(tooLong), IDOK}},
         FOLDER_INVALID, Made::Unchecked},
        {"No makes nothing and says nothing more", missing, {{Question(missing), IDNO}}, FOLDER_DECLINED,
         Made::Absent},
        {"Yes makes every missing level", missing, {{Question(missing), IDYES}}, FOLDER_OK, Made::Present},
        {"a level that cannot be made is reported with the whole path", blocked,
         {{Question(blocked), IDYES}, {NotCreatable(blocked), IDOK}}, FOLDER_NOT_CREATABLE, Made::Unchecked},
        // A file cannot become the folder, so there is nothing to ask.
        {"a file where the folder should be", file, {{NotCreatable(file), IDOK}}, FOLDER_NOT_CREATABLE, Made::Unchecked},
        {"a missing drive", missingDrive, {{Question(missingDrive), IDYES}, {NotCreatable(missingDrive), IDOK}},
         FOLDER_NOT_CREATABLE, Made::Unchecked},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::atomic<bool> done{false};
        ui::Watcher watcher([&] {
            SCOPED_TRACE(c.what);
            AnswerBoxes(c.boxes, &done);
        });
        EXPECT_EQ(ConfirmFolder(c.path.c_str()), c.expected);
        done = true;
        watcher.Join();
        if (c.made != Made::Unchecked) { EXPECT_EQ(IsFolder(c.path), c.made == Made::Present); }
    }
    EXPECT_FALSE(testenv::FileExists(base + "\\new")) << "a bad form makes nothing";
}

// ---- The dialog -----------------------------------------------------------------------------

HWND FindTree(HWND dialog)
{
    if (HWND tree = ui::FindChildById(dialog, kIdTree)) return tree;
    return ::FindWindowExA(dialog, nullptr, WC_TREEVIEWA, nullptr);
}

RECT ScreenRect(HWND hwnd)
{
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    return rect;
}

HWND FocusOfThread(HWND hwnd)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(hwnd, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

// Whether the .bmp of `window` shows something in `area` (screen coordinates): more than one
// colour there, which a capture taken before the window's drawing reached the screen lacks.
bool ShowsSomethingIn(const std::string& bytes, HWND window, const RECT& area)
{
    if (bytes.size() < 54) return false;
    const auto field = [&](size_t offset) { return *reinterpret_cast<const LONG*>(bytes.data() + offset); };
    const LONG width = field(18), height = field(22);
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
    const RECT rcWindow = ScreenRect(window), rcControl = area;
    std::string first;
    for (LONG y = rcControl.top - rcWindow.top; y < rcControl.bottom - rcWindow.top; ++y) {
        for (LONG x = rcControl.left - rcWindow.left; x < rcControl.right - rcWindow.left; ++x) {
            if (x < 0 || y < 0 || x >= width || y >= height) continue;
            const size_t at = 54 + stride * static_cast<size_t>(height - 1 - y) + static_cast<size_t>(x) * 3;
            if (at + 3 > bytes.size()) return false;
            const std::string pixel = bytes.substr(at, 3);
            if (first.empty()) first = pixel;
            else if (pixel != first) return true;
        }
    }
    return false;
}

// Wine hands a window's drawing to the display a little after the window has painted, so the
// display is captured again (bounded) until the edit box and the tree's items are on it; a repaint
// on every capture would keep a slow display forever half drawn.
bool ScreenshotShowing(HWND window, HWND edit, HWND tree, const std::string& name)
{
    RECT items = ScreenRect(tree);  // inside the frame, left of the scroll bar
    ::InflateRect(&items, -3, -3);
    items.right = (items.left + items.right) / 2;
    const ULONGLONG deadline = ::GetTickCount64() + testenv::ScaledMs(10000);
    for (bool first = true; ::GetTickCount64() < deadline; first = false) {
        const std::string path = ui::Screenshot(window, name, first);
        if (path.empty()) return false;
        const std::string bytes = testenv::ReadFileBytes(path);
        if (ShowsSomethingIn(bytes, window, ScreenRect(edit)) && ShowsSomethingIn(bytes, window, items)) return true;
        ::Sleep(20);
    }
    return false;
}

// Returns once the dialog's thread takes messages again, that is once the handler that ran
// while a message box was open has finished.
// After a box closes, the dialog is activated again through the X server, so the focus can be
// nowhere for a moment after the dialog's thread is idle: polled, with a bound.
HWND FocusSettlingOn(HWND dialog, HWND expected)
{
    HWND focus = FocusOfThread(dialog);
    for (int waited = 0; focus != expected && waited < static_cast<int>(testenv::ScaledMs(5000)); waited += 10) {
        ::Sleep(10);
        focus = FocusOfThread(dialog);
    }
    return focus;
}

void WaitUntilIdle(HWND dialog)
{
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(::SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, testenv::ScaledMs(10000), &ignored));
}

// The chooser runs on a page's thread, where OLE is always initialised; the shell's folder
// browser relies on it.
class FolderChooserDialog : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, ::OleInitialize(nullptr)); }
    void TearDown() override { ::OleUninitialize(); }
};

TEST_F(FolderChooserDialog, OpensWithEditBoxAboveTheTree)
{
    const std::string initial = Scratch("dialog") + "\\처음 폴더";
    ASSERT_TRUE(testenv::MakeDirs(initial));
    CFolderChooser chooser(kCaption, kPrompt, initial.c_str(), nullptr);
    ui::Watcher watcher([&] {
        HWND dialog = ui::WaitForWindow(kCaption);
        ASSERT_NE(dialog, nullptr) << "no browse dialog with the chooser's caption";
        const std::vector<std::string> texts = ui::GetChildTexts(dialog);
        EXPECT_NE(std::find(texts.begin(), texts.end(), kPrompt), texts.end()) << "the prompt is shown";

        HWND edit = ui::FindChildById(dialog, IDC_FOLDER_EDIT);
        HWND tree = FindTree(dialog);
        HWND ok = ui::FindChildById(dialog, IDOK);
        ASSERT_TRUE(edit && tree && ok);
        EXPECT_TRUE(::IsWindowVisible(edit));
        EXPECT_EQ(ui::GetText(edit), initial) << "the initial folder is selected and shown";
        EXPECT_TRUE(::IsWindowEnabled(ok));
        if (HWND status = ui::FindChildById(dialog, kIdStatus)) { EXPECT_FALSE(::IsWindowVisible(status)); }

        const RECT rcEdit = ScreenRect(edit), rcTree = ScreenRect(tree);
        EXPECT_LE(rcEdit.bottom, rcTree.top) << "above the tree";
        EXPECT_EQ(rcEdit.left, rcTree.left);
        EXPECT_EQ(rcEdit.right, rcTree.right);
        EXPECT_GT(rcEdit.bottom - rcEdit.top, 10);
        EXPECT_TRUE(ScreenshotShowing(dialog, edit, tree, "folder-chooser"));

        // Any text enables OK, none disables it.
        EXPECT_TRUE(ui::TypeText(edit, ""));
        EXPECT_FALSE(::IsWindowEnabled(ok));
        EXPECT_TRUE(ui::TypeText(edit, "x"));
        EXPECT_TRUE(::IsWindowEnabled(ok));

        // A virtual folder of the tree (the computer itself) has no drive-letter path.
        LPITEMIDLIST computer = nullptr;
        ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer), S_OK);
        ::SendMessageA(dialog, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(computer));
        ::CoTaskMemFree(computer);
        EXPECT_EQ(ui::GetText(edit), "");
        EXPECT_FALSE(::IsWindowEnabled(ok));

        EXPECT_TRUE(ui::ClickButton(dialog, IDCANCEL));
        EXPECT_TRUE(ui::WaitForWindowGone(dialog));
    });
    EXPECT_EQ(chooser.DoModal(), -1) << "Cancel chooses nothing";
    watcher.Join();
}

TEST_F(FolderChooserDialog, TypedFolderIsCheckedAskedForAndMade)
{
    const std::string base = Scratch("typed");
    const std::string missing = base + "\\새 폴더\\two\\three";
    const std::string bad = base + "\\bad?";
    CFolderChooser chooser(kCaption, kPrompt, base.c_str(), nullptr);
    ui::Watcher watcher([&] {
        HWND dialog = ui::WaitForWindow(kCaption);
        ASSERT_NE(dialog, nullptr);
        HWND edit = ui::FindChildById(dialog, IDC_FOLDER_EDIT);
        ASSERT_NE(edit, nullptr);
        const auto okWithBoxes = [&](const std::vector<Box>& boxes) {
            ASSERT_TRUE(ui::ClickButton(dialog, IDOK));
            AnswerBoxes(boxes);
        };

        struct Step {
            const char* what;
            std::string typed;
            std::vector<Box> boxes;
        };
        const Step staying[] = {
            {"invalid path", bad, {{Invalid(bad), IDOK}}},
            {"creation declined", missing, {{Question(missing), IDNO}}},
        };
        for (const Step& step : staying) {
            SCOPED_TRACE(step.what);
            ASSERT_TRUE(ui::TypeText(edit, step.typed));
            okWithBoxes(step.boxes);
            WaitUntilIdle(dialog);
            EXPECT_TRUE(::IsWindowVisible(dialog)) << "the dialog stays open";
            EXPECT_EQ(ui::GetText(edit), step.typed) << "the text stays for correcting";
            // The focus is the dialog thread's, whatever program is in front of the display.
            EXPECT_EQ(FocusSettlingOn(dialog, edit), edit) << "the focus is back in the edit box";
        }
        EXPECT_FALSE(testenv::FileExists(base + "\\새 폴더"));

        okWithBoxes({{Question(missing), IDYES}});
        EXPECT_TRUE(ui::WaitForWindowGone(dialog));
    });
    EXPECT_EQ(chooser.DoModal(), 1);
    watcher.Join();
    EXPECT_EQ(chooser.GetPath().Str(), missing) << "the typed text, not the tree's selection";
    EXPECT_TRUE(IsFolder(missing));
}

TEST_F(FolderChooserDialog, WaysToEndTheDialog)
{
    const std::string base = Scratch("endings");
    const std::string other = base + "\\other";
    ASSERT_TRUE(testenv::MakeDirs(other));
    enum class End { OkButton, EnterKey, CancelButton, CloseBox };
    struct Case {
        const char* what;
        End end;
        int expected;
    };
    const Case cases[] = {
        {"OK on an existing folder", End::OkButton, 1},
        {"Enter in the edit box", End::EnterKey, 1},
        {"Cancel", End::CancelButton, -1},
        {"the close box", End::CloseBox, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CFolderChooser chooser(kCaption, kPrompt, base.c_str(), nullptr);
        ui::Watcher watcher([&] {
            SCOPED_TRACE(c.what);
            HWND dialog = ui::WaitForWindow(kCaption);
            ASSERT_NE(dialog, nullptr);
            HWND edit = ui::FindChildById(dialog, IDC_FOLDER_EDIT);
            ASSERT_NE(edit, nullptr);
            ASSERT_TRUE(ui::TypeText(edit, other));
            switch (c.end) {
            case End::OkButton: EXPECT_TRUE(ui::ClickButton(dialog, IDOK)); break;
            case End::EnterKey: EXPECT_TRUE(ui::PressKey(edit, VK_RETURN)); break;
            case End::CancelButton: EXPECT_TRUE(ui::ClickButton(dialog, IDCANCEL)); break;
            case End::CloseBox: ::PostMessageA(dialog, WM_CLOSE, 0, 0); break;
            }
            EXPECT_TRUE(ui::WaitForWindowGone(dialog));
        });
        EXPECT_EQ(chooser.DoModal(), c.expected);
        watcher.Join();
        if (c.expected == 1) { EXPECT_EQ(chooser.GetPath().Str(), other); }
    }
}

TEST_F(FolderChooserDialog, WithoutInitialFolderOpensOnTheCurrentDirectory)
{
    const std::string current = Scratch("current");
    char saved[MAX_PATH] = {};
    ASSERT_NE(::GetCurrentDirectoryA(MAX_PATH, saved), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryA(current.c_str()));
    CFolderChooser chooser(kCaption, kPrompt, nullptr, nullptr);
    ui::Watcher watcher([&] {
        HWND dialog = ui::WaitForWindow(kCaption);
        ASSERT_NE(dialog, nullptr);
        HWND edit = ui::FindChildById(dialog, IDC_FOLDER_EDIT);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(ui::GetText(edit), current);
        EXPECT_TRUE(ui::ClickButton(dialog, IDCANCEL));
    });
    EXPECT_EQ(chooser.DoModal(), -1);
    watcher.Join();
    ::SetCurrentDirectoryA(saved);
}

}  // namespace
