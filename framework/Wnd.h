// The framework's window: owns its window handle and hands the window's messages to handlers.
#pragma once

#include <windows.h>

#include "framework/CString.h"

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    BOOL DestroyWindow();
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    void SetDlgItemText(int nID, const char* pszText) { ::SetDlgItemTextA(m_hWnd, nID, pszText); }
    CString GetDlgItemText(int nID) const;

    // Called by the owner's message loop before the message is dispatched; TRUE means it was
    // dealt with here and is not to be dispatched.
    virtual BOOL PreTranslateMessage(MSG* pMsg);

    HWND m_hWnd = nullptr;

protected:
    // The message map: a handler returns true when it took the message, with its result.
    virtual bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
    // The window is gone; its handle is no longer ours.
    virtual void OnNcDestroy() { m_hWnd = nullptr; }
};
