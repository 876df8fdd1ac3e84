// Driving windows from a test the way a user would: find a dialog by its caption, read its texts,
// click its buttons, press keys, and take a picture of it. A modal dialog blocks the thread that
// runs it, so a test drives it from a Watcher thread.
//
// Texts are 8-bit text of the system ANSI code page (CP949 in the test environment), compared
// byte for byte.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ui {

// The top-level dialog (class #32770) of `processId` whose caption is exactly `caption`, polled
// about every 20 ms until `timeoutMs` has passed; null then. By default only a visible window
// counts: a dialog is shown once its WM_INITDIALOG has run, so its controls are filled in by then.
// Pass visibleOnly = false for a window that stays hidden.
HWND WaitForWindow(const std::string& caption, int timeoutMs = 10000, DWORD processId = ::GetCurrentProcessId(),
                   bool visibleOnly = true);
// Whether `hwnd` was destroyed within `timeoutMs`.
bool WaitForWindowGone(HWND hwnd, int timeoutMs = 10000);

// The window's text, however long, as WM_GETTEXT gives it (so also an edit control's text in
// another process); empty when the window is gone or does not answer within a few seconds.
std::string GetText(HWND hwnd);
// The message of a message box (its static text, control id 0xFFFF).
std::string GetMessageBoxText(HWND box);
// The icon a message box shows (its only static control with SS_ICON); null when it shows none.
HICON MessageBoxIcon(HWND box);
// The texts of every descendant window, in the platform's enumeration (z-) order.
std::vector<std::string> GetChildTexts(HWND hwnd);
// A direct child by control id; null when there is none.
HWND FindChildById(HWND parent, int id);

// Clicks with a posted BM_CLICK: the call returns at once, so a watcher that clicks a button which
// opens another modal window (a message box) is free to drive that window as well. The click
// happens when the dialog's thread next takes its messages. False when there is no such button.
bool ClickButton(HWND dialog, int id);
// The same for the button whose text is `text`; mnemonic ampersands are ignored on both sides.
bool ClickButtonByText(HWND dialog, const std::string& text);

// Replaces the whole text of an edit control with WM_SETTEXT (waits until it is done). No key
// messages are generated, so an edit control's own key filtering is not exercised.
bool TypeText(HWND edit, const std::string& text);

// Posts WM_KEYDOWN and WM_KEYUP for `vk` to the window that has the keyboard focus in `target`'s
// thread when that is `target` or one of its descendants, else to `target` itself. Posted, not
// sent: the keys go through the thread's message loop like typed keys, so the dialog's own
// keyboard handling (PreTranslateMessage, IsDialogMessage) sees them. Only the program in front
// has a focus: when other programs share the display, pass the control itself.
bool PressKey(HWND target, UINT vk);

// Captures the window's screen rectangle into a 24-bit .bmp at
// testenv::StatePath("screenshots\\<name>.bmp") and returns that path; empty on failure. It is
// what the screen shows there, after the window has repainted (waited for, bounded): another
// program's window on top of it is in the picture too. With `repaint` false it captures what the
// screen shows now, for polling the display after a first repaint.
std::string Screenshot(HWND hwnd, const std::string& name, bool repaint = true);

// Asks every visible dialog of this process that belongs to another thread to close (WM_CLOSE).
// A failed watcher uses it so that a modal dialog it could not drive does not hold the test
// until ctest's timeout.
void CloseOtherThreadsDialogs();

// Runs `body` on a background thread, for a test whose own thread is blocked in a modal loop.
// gtest assertions may be used in `body`: they are reported to the running test, as non-fatal
// failures marked "[watcher]", when the thread ends (ASSERT_* ends only `body`). SCOPED_TRACE is
// per thread: a table test repeats its trace inside `body`. When `body` failed, the other
// threads' dialogs are asked to close, so the failure shows at once rather than as a hang.
// The destructor joins.
class Watcher {
public:
    explicit Watcher(std::function<void()> body);
    ~Watcher();
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    // Waits for the body to end; the failures it had are reported by then.
    void Join();

private:
    std::thread m_thread;
};

}  // namespace ui
