// CDialog with the module's own templates, run in-process: how a modal dialog ends (buttons,
// handlers, keys through PreTranslateMessage), data exchange with its controls, its owner, the
// hidden modeless dialog, missing templates; and the UI helper's own guarantees.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "resources/resource.h"
#include "support/TestEnv.h"
#include "support/UiHelper.h"

namespace {

const char kDownloadCaption[] = "File Download...";

// Private messages a watcher sends to the dialog under test.
constexpr UINT kEndWith = WM_APP + 1;  // EndDialog(wParam)
constexpr UINT kMarker = WM_APP + 2;   // signals `marker`: every message posted before it was handled

// What the dialog does with keyboard messages before they are dispatched.
enum class Keys {
    Platform,  // the base class: IsDialogMessage (Escape cancels, Enter picks a button)
    Swallow,   // PreTranslateMessage takes them: neither IsDialogMessage nor the control sees them
    Dispatch,  // PreTranslateMessage lets them be dispatched as they are, to the focused control
};

class TestDialog : public CDialog {
public:
    explicit TestDialog(UINT nIDTemplate = IDD_DOWNLOAD, HWND hParent = nullptr) : CDialog(nIDTemplate, hParent) {}

    Keys keys = Keys::Platform;
    CString text;        // exchanged with IDC_DOWNLOAD_TEXT
    int endInInit = 0;   // when not 0, OnInitDialog ends the dialog with it
    UniqueKernelHandle marker{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    // What PreTranslateMessage saw; written on the dialog's thread, read after the watcher joined.
    int keyDowns = 0;
    HWND keyTarget = nullptr;
    int keyDownsDispatched = 0;  // WM_KEYDOWN that reached the dialog window's procedure
    bool everShown = false;

protected:
    BOOL OnInitDialog() override {
        const BOOL bResult = CDialog::OnInitDialog();
        if (endInInit) EndDialog(endInInit);
        return bResult;
    }

    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, IDC_DOWNLOAD_TEXT, text); }

    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM, LRESULT& lResult) override {
        switch (nMsg) {
        case kEndWith:
            EndDialog(static_cast<int>(wParam));
            lResult = 0;
            return true;
        case kMarker:
            ::SetEvent(marker.Get());
            return true;
        case WM_KEYDOWN:
            ++keyDownsDispatched;
            return false;
        case WM_SHOWWINDOW:
            if (wParam) everShown = true;
            return false;
        default:
            return false;
        }
    }

    BOOL PreTranslateMessage(MSG* pMsg) override {
        const bool bKey = pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST;
        if (pMsg->message == WM_KEYDOWN) {
            ++keyDowns;
            keyTarget = pMsg->hwnd;
        }
        if (bKey && keys == Keys::Swallow) return TRUE;
        if (bKey && keys == Keys::Dispatch) return FALSE;
        return CDialog::PreTranslateMessage(pMsg);
    }
};

// A 24-bit .bmp of the window's size that shows something: a capture that missed the window
// (no display, nothing painted yet) is one flat colour.
::testing::AssertionResult IsPictureOf(const std::string& bytes, HWND hwnd)
{
    RECT rect{};
    if (bytes.size() < 54 || bytes.compare(0, 2, "BM") != 0 || !::GetWindowRect(hwnd, &rect))
        return ::testing::AssertionFailure() << "not a .bmp file";
    const auto field = [&](size_t offset) { return *reinterpret_cast<const LONG*>(bytes.data() + offset); };
    const LONG width = field(18), height = field(22);
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
    if (width != rect.right - rect.left || height != rect.bottom - rect.top ||
        bytes.size() != 54 + stride * static_cast<size_t>(height))
        return ::testing::AssertionFailure() << width << "x" << height << " pixels, " << bytes.size() << " bytes";
    for (size_t at = 54 + 3; at + 3 <= bytes.size(); at += 3)
        if (bytes.compare(at, 3, bytes, 54, 3) != 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "every pixel has the same colour";
}

TEST(DialogModal, ShowsTheDownloadTemplateAndCancelEndsIt)
{
    struct Case {
        const char* name;
        bool byText;
    };
    for (const Case c : {Case{"Cancel by id", false}, Case{"Cancel by its text", true}}) {
        SCOPED_TRACE(c.name);
        TestDialog dlg;
        HWND shown = nullptr;
        ui::Watcher watcher([&] {
            SCOPED_TRACE(c.name);
            HWND h = ui::WaitForWindow(kDownloadCaption);
            ASSERT_NE(h, nullptr);
            shown = h;
            const int controls[] = {IDCANCEL, IDC_DOWNLOAD_PROGRESS, IDC_DOWNLOAD_SIZE, IDC_DOWNLOAD_TEXT};
            for (int id : controls) EXPECT_NE(ui::FindChildById(h, id), nullptr) << "control " << id;
            const std::vector<std::string> texts = ui::GetChildTexts(h);
            ASSERT_EQ(texts.size(), 4u);
            EXPECT_EQ(texts[0], "Cancel");
            if (!c.byText) {
                const std::string path = ui::Screenshot(h, "download-dialog");
                ASSERT_FALSE(path.empty());
                EXPECT_TRUE(IsPictureOf(testenv::ReadFileBytes(path), h)) << path;
            }
            EXPECT_TRUE(c.byText ? ui::ClickButtonByText(h, "Cancel") : ui::ClickButton(h, IDCANCEL));
            EXPECT_TRUE(ui::WaitForWindowGone(h));
        });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        watcher.Join();
        EXPECT_NE(shown, nullptr);
        EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
        EXPECT_FALSE(::IsWindow(shown)) << "DoModal destroys its window";
    }
}

TEST(DialogModal, EndDialogFromAHandlerGivesItsValue)
{
    for (const int value : {1, 0, 12345}) {
        SCOPED_TRACE(value);
        TestDialog dlg;
        ui::Watcher watcher([&] {
            SCOPED_TRACE(value);
            HWND h = ui::WaitForWindow(kDownloadCaption);
            ASSERT_NE(h, nullptr);
            DWORD_PTR ignored = 0;
            EXPECT_TRUE(::SendMessageTimeoutA(h, kEndWith, static_cast<WPARAM>(value), 0, SMTO_NORMAL, testenv::ScaledMs(10000),
                                              &ignored));
            EXPECT_TRUE(ui::WaitForWindowGone(h));
        });
        EXPECT_EQ(dlg.DoModal(), value);
    }
}

TEST(DialogModal, EndDialogInOnInitDialogReturnsWithoutShowing)
{
    TestDialog dlg;
    dlg.endInInit = 7;
    EXPECT_EQ(dlg.DoModal(), 7);
    EXPECT_FALSE(dlg.everShown);
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
    EXPECT_EQ(ui::WaitForWindow(kDownloadCaption, 0, ::GetCurrentProcessId(), false), nullptr);
}

TEST(DialogModal, MissingTemplateFails)
{
    TestDialog modal(999);
    EXPECT_EQ(modal.DoModal(), -1);
    EXPECT_EQ(modal.GetSafeHwnd(), nullptr);

    TestDialog modeless;
    EXPECT_FALSE(modeless.Create(999));
    EXPECT_EQ(modeless.GetSafeHwnd(), nullptr);
}

TEST(DialogModal, OwnerIsDisabledOnlyWhileTheDialogRuns)
{
    struct Case {
        const char* name;
        bool ownerEnabled;
    };
    for (const Case c : {Case{"enabled owner", true}, Case{"owner already disabled", false}}) {
        SCOPED_TRACE(c.name);
        CDialog owner(IDD_INSTALL);
        ASSERT_TRUE(owner.Create(IDD_INSTALL));
        ::EnableWindow(owner.GetSafeHwnd(), c.ownerEnabled);

        TestDialog dlg(IDD_DOWNLOAD, owner.GetSafeHwnd());
        ui::Watcher watcher([&] {
            SCOPED_TRACE(c.name);
            HWND h = ui::WaitForWindow(kDownloadCaption);
            ASSERT_NE(h, nullptr);
            EXPECT_EQ(::GetWindow(h, GW_OWNER), owner.GetSafeHwnd());
            EXPECT_FALSE(::IsWindowEnabled(owner.GetSafeHwnd()));
            EXPECT_TRUE(ui::ClickButton(h, IDCANCEL));
        });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        watcher.Join();
        EXPECT_EQ(::IsWindowEnabled(owner.GetSafeHwnd()) != FALSE, c.ownerEnabled);
    }
}

TEST(DialogKeys, PreTranslateMessageDecidesWhatKeysDo)
{
    // The watcher ends a dialog that ignored the key with this value, distinct from any button.
    constexpr int kStillOpen = 77;
    struct Case {
        const char* name;
        Keys keys;
        UINT vk;
        int expected;
    };
    const Case cases[] = {
        {"Escape cancels through IsDialogMessage", Keys::Platform, VK_ESCAPE, IDCANCEL},
        // No button is a default push button, so the platform sends IDOK: OnOK ends the dialog.
        {"Enter without a default button is OK", Keys::Platform, VK_RETURN, IDOK},
        {"Escape swallowed by PreTranslateMessage", Keys::Swallow, VK_ESCAPE, kStillOpen},
        {"Enter swallowed by PreTranslateMessage", Keys::Swallow, VK_RETURN, kStillOpen},
        {"Escape dispatched to the button itself", Keys::Dispatch, VK_ESCAPE, kStillOpen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDialog dlg;
        dlg.keys = c.keys;
        HWND cancel = nullptr;
        ui::Watcher watcher([&] {
            SCOPED_TRACE(c.name);
            HWND h = ui::WaitForWindow(kDownloadCaption);
            ASSERT_NE(h, nullptr);
            cancel = ui::FindChildById(h, IDCANCEL);
            ASSERT_NE(cancel, nullptr);
            // To Cancel, where the focus starts, rather than to whatever has the focus: with other
            // test programs on the display this one may not be in front, and then has no focus.
            ASSERT_TRUE(ui::PressKey(cancel, c.vk));
            // Posted after the keys, so handled after them.
            ::PostMessageA(h, kMarker, 0, 0);
            if (c.expected != kStillOpen) {
                EXPECT_TRUE(ui::WaitForWindowGone(h));
                return;
            }
            EXPECT_EQ(::WaitForSingleObject(dlg.marker.Get(), testenv::ScaledMs(10000)), WAIT_OBJECT_0);
            EXPECT_TRUE(::IsWindowVisible(h)) << "the key ended the dialog";
            // Posted too, so that a WM_CHAR that TranslateMessage made of the key (Dispatch) is
            // handled before this, and would have ended the dialog first if it could.
            ::PostMessageA(h, kEndWith, kStillOpen, 0);
        });
        EXPECT_EQ(dlg.DoModal(), c.expected);
        watcher.Join();
        // The key of a child control went through the dialog's PreTranslateMessage first.
        EXPECT_EQ(dlg.keyDowns, 1);
        EXPECT_NE(cancel, nullptr);
        EXPECT_EQ(dlg.keyTarget, cancel);
    }
}

TEST(DialogKeys, KeysOfOtherWindowsAreNotTheDialogs)
{
    // Another window of the same thread, as the hidden installer window is while the download
    // dialog runs: a dialog that swallows keys must not take that window's keys.
    TestDialog other(IDD_INSTALL);
    ASSERT_TRUE(other.Create(IDD_INSTALL));
    TestDialog dlg;
    dlg.keys = Keys::Swallow;
    ui::Watcher watcher([&] {
        HWND h = ui::WaitForWindow(kDownloadCaption);
        ASSERT_NE(h, nullptr);
        ASSERT_TRUE(ui::PressKey(other.GetSafeHwnd(), VK_ESCAPE));
        ::PostMessageA(h, kMarker, 0, 0);
        EXPECT_EQ(::WaitForSingleObject(dlg.marker.Get(), testenv::ScaledMs(10000)), WAIT_OBJECT_0);
        EXPECT_TRUE(ui::ClickButton(h, IDCANCEL));
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    watcher.Join();
    EXPECT_EQ(dlg.keyDowns, 0);
    EXPECT_EQ(other.keyDownsDispatched, 1);
}

TEST(DialogData, ExchangesTheMemberWithTheControl)
{
    // Longer than any fixed buffer, in CP949.
    std::string shown;
    for (int i = 0; i < 300; ++i) shown += "한글 다운로드 ";
    const std::string typed = "설치 파일을 받는 중입니다...";

    TestDialog dlg;
    dlg.text = shown.c_str();
    ui::Watcher watcher([&] {
        HWND h = ui::WaitForWindow(kDownloadCaption);
        ASSERT_NE(h, nullptr);
        HWND hText = ui::FindChildById(h, IDC_DOWNLOAD_TEXT);
        ASSERT_NE(hText, nullptr);
        const std::string initial = ui::GetText(hText);
        EXPECT_EQ(initial.size(), shown.size());
        EXPECT_TRUE(initial == shown) << "OnInitDialog puts the member into the control";
        EXPECT_TRUE(ui::TypeText(hText, typed));
        // OK without an OK button: the command a menu or accelerator would send.
        ::PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    watcher.Join();
    EXPECT_EQ(dlg.text.Str(), typed) << "OnOK takes the control's text back into the member";
}

TEST(DialogModeless, InstallDialogIsHiddenUntilDestroyed)
{
    HWND hwnd = nullptr;
    {
        TestDialog dlg(IDD_INSTALL);
        ASSERT_TRUE(dlg.Create(IDD_INSTALL));
        hwnd = dlg.GetSafeHwnd();
        ASSERT_NE(hwnd, nullptr);
        EXPECT_FALSE(::IsWindowVisible(hwnd));
        EXPECT_EQ(ui::GetText(hwnd), "qxChecker");
        // Found by its caption only when hidden windows are asked for.
        EXPECT_EQ(ui::WaitForWindow("qxChecker", 0, ::GetCurrentProcessId(), false), hwnd);
        EXPECT_EQ(ui::WaitForWindow("qxChecker", 0), nullptr);

        // Ending a modeless dialog hides it; the window stays.
        ::ShowWindow(hwnd, SW_SHOWNA);
        dlg.EndDialog(IDOK);
        EXPECT_TRUE(::IsWindow(hwnd));
        EXPECT_FALSE(::IsWindowVisible(hwnd));
    }
    EXPECT_FALSE(::IsWindow(hwnd)) << "the destructor destroys the window";

    TestDialog dlg(IDD_INSTALL);
    ASSERT_TRUE(dlg.Create(IDD_INSTALL));
    hwnd = dlg.GetSafeHwnd();
    EXPECT_TRUE(dlg.DestroyWindow());
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
}

TEST(DialogUiHelper, WaitForWindowGivesUpAfterItsBound)
{
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(ui::WaitForWindow("no such window", 200), nullptr);
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    EXPECT_GE(elapsed, 200u);
    EXPECT_LT(elapsed, 5000u);
}

// EXPECT_NONFATAL_FAILURE_ON_ALL_THREADS takes no local variables.
INT_PTR g_rescuedResult = 0;

TEST(DialogUiHelper, FailedWatcherFailsTheTestAndFreesTheDialog)
{
    EXPECT_NONFATAL_FAILURE_ON_ALL_THREADS(
        {
            TestDialog dlg;
            ui::Watcher watcher([] {
                ASSERT_NE(ui::WaitForWindow(kDownloadCaption), nullptr);
                FAIL() << "watcher gave up";
            });
            g_rescuedResult = dlg.DoModal();
        },
        "watcher gave up");
    // The dialog was closed for the failed watcher, as WM_CLOSE closes a dialog: with IDCANCEL.
    EXPECT_EQ(g_rescuedResult, IDCANCEL);
}

}  // namespace
