#include "support/UiHelper.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <exception>

#include "framework/Handles.h"
#include "support/TestEnv.h"

// Watcher reports its thread's failures to the running test from that thread.
#if !GTEST_IS_THREADSAFE
#error "gtest must accept failures from a watcher thread"
#endif

namespace ui {

namespace {

constexpr int kPollMs = 20;
// How long a window may take to answer WM_GETTEXT and the like before it counts as hung. The
// sends wait that long rather than give up on a thread Wine calls hung (one that has not read its
// queue for 5 s): a dialog's thread shows it before its first read, which in the emulated machine
// can come seconds later, and the text would then read as empty.
constexpr UINT kAnswerBaseMs = 5000;
UINT AnswerMs() { return testenv::ScaledMs(kAnswerBaseMs); }

// A caption as the window manager keeps it: no message goes to the window, so looking at every
// window of the process never waits for a thread that is busy. Converted with the ANSI code page,
// which gives the same bytes GetWindowTextA would.
std::string StoredCaption(HWND hwnd)
{
    std::wstring wide(256, L'\0');
    for (;;) {
        const int nCopied = ::InternalGetWindowText(hwnd, &wide[0], static_cast<int>(wide.size()));
        if (nCopied < static_cast<int>(wide.size()) - 1) {
            wide.resize(static_cast<size_t>(nCopied));
            break;
        }
        wide.resize(wide.size() * 2);
    }
    if (wide.empty()) return std::string();
    const int nBytes = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                             nullptr, nullptr);
    std::string text(static_cast<size_t>(nBytes > 0 ? nBytes : 0), '\0');
    if (nBytes > 0)
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0], nBytes, nullptr,
                              nullptr);
    return text;
}

bool IsDialogClass(HWND hwnd)
{
    char className[64] = {};
    ::GetClassNameA(hwnd, className, sizeof className);
    return std::string(className) == "#32770";
}

struct Search {
    const std::string* caption;
    DWORD processId;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND hwnd, LPARAM lParam)
{
    Search& search = *reinterpret_cast<Search*>(lParam);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(hwnd, &processId);
    if (processId != search.processId) return TRUE;
    if (search.visibleOnly && !::IsWindowVisible(hwnd)) return TRUE;
    if (!IsDialogClass(hwnd) || StoredCaption(hwnd) != *search.caption) return TRUE;
    search.found = hwnd;
    return FALSE;
}

std::string WithoutAmpersands(std::string text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') out += text[++i];  // "&&" is a literal one
            continue;
        }
        out += text[i];
    }
    return out;
}

// Keeps a bitmap selected into a memory DC only as long as needed: a selected bitmap cannot be
// deleted, so the old one goes back first.
class Selection {
public:
    Selection(HDC hdc, HGDIOBJ object) : m_hdc(hdc), m_old(::SelectObject(hdc, object)) {}
    ~Selection() {
        if (m_old) ::SelectObject(m_hdc, m_old);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    bool Ok() const { return m_old != nullptr && m_old != HGDI_ERROR; }

private:
    HDC m_hdc;
    HGDIOBJ m_old;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM lParam)
{
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(child);
    return TRUE;
}

std::vector<HWND> Descendants(HWND hwnd)
{
    std::vector<HWND> children;
    ::EnumChildWindows(hwnd, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

BOOL CALLBACK CloseIfOtherThreadsDialog(HWND hwnd, LPARAM)
{
    DWORD processId = 0;
    const DWORD threadId = ::GetWindowThreadProcessId(hwnd, &processId);
    if (processId == ::GetCurrentProcessId() && threadId != ::GetCurrentThreadId() && ::IsWindowVisible(hwnd) &&
        IsDialogClass(hwnd))
        ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
    return TRUE;
}

bool NeedsPainting(HWND hwnd)
{
    if (::GetUpdateRect(hwnd, nullptr, FALSE)) return true;
    for (HWND child : Descendants(hwnd))
        if (::GetUpdateRect(child, nullptr, FALSE)) return true;
    return false;
}

template <typename T>
void AppendRaw(std::string& out, const T& value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

HWND WaitForWindow(const std::string& caption, int timeoutMs, DWORD processId, bool visibleOnly)
{
    const ULONGLONG deadline = ::GetTickCount64() + testenv::ScaledMs(static_cast<unsigned long>(timeoutMs > 0 ? timeoutMs : 0));
    for (;;) {
        Search search{&caption, processId, visibleOnly, nullptr};
        ::EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        if (::GetTickCount64() >= deadline) return nullptr;
        ::Sleep(kPollMs);
    }
}

bool WaitForWindowGone(HWND hwnd, int timeoutMs)
{
    const ULONGLONG deadline = ::GetTickCount64() + testenv::ScaledMs(static_cast<unsigned long>(timeoutMs > 0 ? timeoutMs : 0));
    while (::IsWindow(hwnd)) {
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(kPollMs);
    }
    return true;
}

std::string GetText(HWND hwnd)
{
    DWORD_PTR nLength = 0;
    if (!::IsWindow(hwnd) ||
        !::SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, AnswerMs(), &nLength))
        return std::string();
    // WM_GETTEXTLENGTH may count more than WM_GETTEXT copies (never less), so the copy decides.
    std::string text(nLength + 1, '\0');
    DWORD_PTR nCopied = 0;
    if (!::SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_NORMAL,
                               AnswerMs(), &nCopied))
        return std::string();
    text.resize(nCopied < text.size() ? nCopied : text.size() - 1);
    return text;
}

std::string GetMessageBoxText(HWND box)
{
    // A box can be found visible a moment before its text is set (seen on a slow machine).
    const ULONGLONG deadline = ::GetTickCount64() + AnswerMs();
    for (;;) {
        HWND hText = FindChildById(box, 0xFFFF);
        const std::string text = hText ? GetText(hText) : std::string();
        if (!text.empty() || !::IsWindow(box) || ::GetTickCount64() >= deadline) return text;
        ::Sleep(kPollMs);
    }
}

std::vector<std::string> GetChildTexts(HWND hwnd)
{
    std::vector<std::string> texts;
    for (HWND child : Descendants(hwnd)) texts.push_back(GetText(child));
    return texts;
}

HWND FindChildById(HWND parent, int id)
{
    return ::GetDlgItem(parent, id);
}

bool ClickButton(HWND dialog, int id)
{
    HWND hButton = FindChildById(dialog, id);
    return hButton && ::PostMessageA(hButton, BM_CLICK, 0, 0);
}

bool ClickButtonByText(HWND dialog, const std::string& text)
{
    const std::string wanted = WithoutAmpersands(text);
    for (HWND child : Descendants(dialog)) {
        char className[16] = {};
        ::GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "Button") == 0 && WithoutAmpersands(GetText(child)) == wanted)
            return ::PostMessageA(child, BM_CLICK, 0, 0) != FALSE;
    }
    return false;
}

bool TypeText(HWND edit, const std::string& text)
{
    DWORD_PTR result = 0;
    return ::IsWindow(edit) &&
           ::SendMessageTimeoutA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL,
                                 AnswerMs(), &result) &&
           result == TRUE;
}

bool PressKey(HWND target, UINT vk)
{
    if (!::IsWindow(target)) return false;
    // GetFocus answers only for the calling thread; the owner thread's focus comes from here.
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND hFocus = target;
    if (::GetGUIThreadInfo(::GetWindowThreadProcessId(target, nullptr), &info) && info.hwndFocus &&
        (info.hwndFocus == target || ::IsChild(target, info.hwndFocus)))
        hFocus = info.hwndFocus;
    const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyA(vk, 0 /*MAPVK_VK_TO_VSC*/)) << 16;
    // Repeat count 1; key-up also carries "was down" and "being released".
    if (!::PostMessageA(hFocus, WM_KEYDOWN, vk, scan | 1)) return false;
    // The key-down may already have closed the window (Escape in a dialog): then there is no one
    // left to take the key-up, and the key was still pressed.
    ::PostMessageA(hFocus, WM_KEYUP, vk, scan | 1 | 0xC0000000);
    return true;
}

std::string Screenshot(HWND hwnd, const std::string& name, bool repaint)
{
    RECT rect{};
    if (testenv::StateDir().empty() || !::GetWindowRect(hwnd, &rect)) return std::string();
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return std::string();

    // The window's own thread paints it. Ask for a full repaint and wait (bounded) until nothing
    // is left to paint; RDW_UPDATENOW would instead send WM_PAINT across threads and block for
    // good on a thread that has stopped taking messages.
    if (repaint) ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    const ULONGLONG deadline = ::GetTickCount64() + AnswerMs();
    while (NeedsPainting(hwnd) && ::GetTickCount64() < deadline) ::Sleep(kPollMs);

    CScreenDc screen;
    if (!screen.Get()) return std::string();
    UniqueDc memory(::CreateCompatibleDC(screen.Get()));
    UniqueGdiObject bitmap(::CreateCompatibleBitmap(screen.Get(), width, height));
    if (!memory || !bitmap) return std::string();
    {
        Selection selected(memory.Get(), bitmap.Get());
        if (!selected.Ok() ||
            !::BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), rect.left, rect.top, SRCCOPY | CAPTUREBLT))
            return std::string();
    }

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;  // positive: rows bottom-up, as a .bmp file keeps them
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
    std::string pixels(stride * static_cast<size_t>(height), '\0');
    BITMAPINFO info{};
    info.bmiHeader = header;
    if (::GetDIBits(memory.Get(), static_cast<HBITMAP>(bitmap.Get()), 0, static_cast<UINT>(height), &pixels[0],
                    &info, DIB_RGB_COLORS) != height)
        return std::string();

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
    header.biSizeImage = static_cast<DWORD>(pixels.size());
    std::string bytes;
    AppendRaw(bytes, file);
    AppendRaw(bytes, header);
    bytes += pixels;

    const std::string folder = testenv::StatePath("screenshots");
    const std::string path = folder + "\\" + name + ".bmp";
    if (!testenv::MakeDirs(folder) || !testenv::WriteFileBytes(path, bytes)) return std::string();
    return path;
}

void CloseOtherThreadsDialogs()
{
    ::EnumWindows(CloseIfOtherThreadsDialog, 0);
}

Watcher::Watcher(std::function<void()> body)
    : m_thread([body = std::move(body)] {
          // Failures are caught on this thread first, so that the watcher knows it failed (and
          // rescues the test thread) before they reach the running test.
          ::testing::TestPartResultArray results;
          {
              ::testing::ScopedFakeTestPartResultReporter intercept(
                  ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
              try {
                  body();
              } catch (const std::exception& e) {
                  ADD_FAILURE() << "watcher thread threw: " << e.what();
              } catch (...) {
                  ADD_FAILURE() << "watcher thread threw a non-standard exception";
              }
          }
          bool failed = false;
          for (int i = 0; i < results.size(); ++i) failed = failed || results.GetTestPartResult(i).failed();
          if (failed) CloseOtherThreadsDialogs();
          for (int i = 0; i < results.size(); ++i) {
              const ::testing::TestPartResult& result = results.GetTestPartResult(i);
              if (!result.failed()) continue;
              ADD_FAILURE_AT(result.file_name() ? result.file_name() : "(watcher)", result.line_number())
                  << "[watcher] " << result.message();
          }
      })
{
}

Watcher::~Watcher()
{
    Join();
}

void Watcher::Join()
{
    if (m_thread.joinable()) m_thread.join();
}

HICON MessageBoxIcon(HWND box)
{
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = {};
        ::GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "Static") == 0 && (::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return reinterpret_cast<HICON>(::SendMessageA(child, STM_GETICON, 0, 0));
    }
    return nullptr;
}

}  // namespace ui
