// The window an OLE control shows itself in while it is active in place: a plain child of the
// container's window, whose class is registered once per process and whose few messages go back to
// the control that owns it.
#pragma once

#include <windows.h>

// What the window asks of its control. The control outlives its window: it destroys the window
// before it goes.
class CControlWindowHandler {
public:
    // The client area needs painting; `hdc` is the paint context, `rcClient` the client rectangle.
    virtual void OnWindowPaint(HDC hdc, const RECT& rcClient) = 0;
    // The window got (true) or lost (false) the keyboard focus.
    virtual void OnWindowFocus(bool bGotFocus) = 0;
    // A click is about to activate the window.
    virtual void OnWindowMouseActivate() = 0;

protected:
    ~CControlWindowHandler() = default;
};

class CControlWindow {
public:
    // The reflected notifications: a container hands a child's notification back to the child with
    // this added to the message number.
    static constexpr UINT kReflectBase = 0x2000;
    // WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN
    static constexpr DWORD kStyle = 0x56000000;

    explicit CControlWindow(CControlWindowHandler& handler) : m_handler(handler) {}
    ~CControlWindow() { Destroy(); }
    CControlWindow(const CControlWindow&) = delete;
    CControlWindow& operator=(const CControlWindow&) = delete;

    // Creates the window as a child of `hwndParent` over `rcPos`; null when it cannot.
    HWND Create(HWND hwndParent, const RECT& rcPos);
    void Destroy();
    HWND GetHwnd() const { return m_hWnd; }

    // The generated class name, "ATL:" and eight hexadecimal digits; the class is registered on the
    // first call in the process and unregistered when the module ends.
    static const char* ClassName();
    static bool IsReflectedNotification(UINT nMsg);

private:
    static bool RegisterClassOnce();
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

    CControlWindowHandler& m_handler;
    HWND m_hWnd = nullptr;
};
