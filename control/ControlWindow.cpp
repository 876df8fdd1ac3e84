#include "control/ControlWindow.h"

#include <cstdio>

#include "com/ModuleState.h"

namespace {

// The class name is made from this object's address, so two modules that carry this code (the DLL
// and a program that links the same sources) never share a class and its window procedure.
struct WindowClassInfo {
    char szName[16];
    ATOM atom;
};
WindowClassInfo g_classInfo;

HINSTANCE CodeModule()
{
    HMODULE hModule = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&g_classInfo), &hModule);
    return hModule;
}

// A class left registered after the DLL is unloaded would point at code that is gone, and a later
// load at the same address could not register it again.
void UnregisterWindowClass(DWORD_PTR)
{
    CCriticalSectionLock lock(Module().m_csWindowCreate);
    if (g_classInfo.atom && ::UnregisterClassA(g_classInfo.szName, CodeModule())) g_classInfo.atom = 0;
}

// BeginPaint and EndPaint as one owner.
class CPaintContext {
public:
    explicit CPaintContext(HWND hwnd) : m_hWnd(hwnd), m_hdc(::BeginPaint(hwnd, &m_ps)) {}
    ~CPaintContext() { ::EndPaint(m_hWnd, &m_ps); }
    CPaintContext(const CPaintContext&) = delete;
    CPaintContext& operator=(const CPaintContext&) = delete;
    HDC Get() const { return m_hdc; }

private:
    HWND m_hWnd;
    PAINTSTRUCT m_ps = {};
    HDC m_hdc;
};

}  // namespace

const char* CControlWindow::ClassName()
{
    CCriticalSectionLock lock(Module().m_csWindowCreate);
    if (!g_classInfo.szName[0])
        _snprintf(g_classInfo.szName, sizeof g_classInfo.szName - 1, "ATL:%8.8X",
                      static_cast<unsigned>(reinterpret_cast<UINT_PTR>(&g_classInfo)));
    return g_classInfo.szName;
}

bool CControlWindow::RegisterClassOnce()
{
    const char* pszName = ClassName();
    CCriticalSectionLock lock(Module().m_csWindowCreate);
    if (g_classInfo.atom) return true;
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = &CControlWindow::WindowProc;
    wc.hInstance = CodeModule();
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszClassName = pszName;
    g_classInfo.atom = ::RegisterClassExA(&wc);
    if (!g_classInfo.atom) return false;
    Module().AddTermFunc(&UnregisterWindowClass, 0);
    return true;
}

bool CControlWindow::IsReflectedNotification(UINT nMsg)
{
    if (nMsg < kReflectBase) return false;
    switch (nMsg - kReflectBase) {
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_NOTIFY:
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_PARENTNOTIFY:
        return true;
    default:
        return false;
    }
}

HWND CControlWindow::Create(HWND hwndParent, const RECT& rcPos)
{
    if (m_hWnd) return m_hWnd;
    if (!RegisterClassOnce()) return nullptr;
    // WM_NCCREATE ties the handle to this object, so the messages of the creation are ours already.
    ::CreateWindowExA(0, ClassName(), nullptr, kStyle, rcPos.left, rcPos.top, rcPos.right - rcPos.left,
                      rcPos.bottom - rcPos.top, hwndParent, nullptr, CodeModule(), this);
    return m_hWnd;
}

void CControlWindow::Destroy()
{
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
}

LRESULT CALLBACK CControlWindow::WindowProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (nMsg == WM_NCCREATE) {
        auto* pWindow = static_cast<CControlWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        pWindow->m_hWnd = hwnd;
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pWindow));
    }
    auto* pWindow = reinterpret_cast<CControlWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!pWindow) return ::DefWindowProcA(hwnd, nMsg, wParam, lParam);
    if (nMsg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        pWindow->m_hWnd = nullptr;
        return ::DefWindowProcA(hwnd, nMsg, wParam, lParam);
    }
    return pWindow->OnMessage(hwnd, nMsg, wParam, lParam);
}

LRESULT CControlWindow::OnMessage(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    // The handler may deactivate the control and so destroy this window: only `hwnd` is used after it.
    switch (nMsg) {
    case WM_PAINT: {
        // A caller may hand its own context in wParam (WM_PRINTCLIENT style); else the update region.
        RECT rcClient = {};
        ::GetClientRect(hwnd, &rcClient);
        if (wParam) {
            m_handler.OnWindowPaint(reinterpret_cast<HDC>(wParam), rcClient);
        } else {
            CPaintContext paint(hwnd);
            if (paint.Get()) m_handler.OnWindowPaint(paint.Get(), rcClient);
        }
        return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        m_handler.OnWindowFocus(nMsg == WM_SETFOCUS);
        break;
    case WM_MOUSEACTIVATE:
        m_handler.OnWindowMouseActivate();
        break;
    default:
        // The container passed a child's notification back; nothing here wants it, so it gets the
        // default answer of the notification itself.
        if (IsReflectedNotification(nMsg))
            return ::DefWindowProcA(hwnd, nMsg - kReflectBase, wParam, lParam);
        break;
    }
    return ::DefWindowProcA(hwnd, nMsg, wParam, lParam);
}
