#include "framework/Wnd.h"

#include <vector>

CWnd::~CWnd()
{
    DestroyWindow();
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd || !::IsWindow(m_hWnd)) {
        m_hWnd = nullptr;
        return FALSE;
    }
    const BOOL bDestroyed = ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    return bDestroyed;
}

CString CWnd::GetDlgItemText(int nID) const
{
    HWND hItem = GetDlgItem(nID);
    if (!hItem) return CString();
    const int nLength = ::GetWindowTextLengthA(hItem);
    std::vector<char> buffer(static_cast<size_t>(nLength) + 1);
    const int nCopied = ::GetWindowTextA(hItem, buffer.data(), static_cast<int>(buffer.size()));
    return CString(buffer.data(), static_cast<size_t>(nCopied));
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

bool CWnd::OnMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}
