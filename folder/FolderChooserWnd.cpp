#include "folder/FolderChooserWnd.h"

#include <commctrl.h>
#include <shlobj.h>

#include "folder/FolderChooser.h"
#include "folder/FolderPath.h"

namespace {

// Tells our subclass apart from any the shell may install on its own dialog.
constexpr UINT_PTR kSubclassId = 0x5146;  // "QF"

}  // namespace

CFolderChooserWnd::~CFolderChooserWnd()
{
    // Without this the base class would destroy a window that belongs to the shell.
    UnsubclassWindow();
}

BOOL CFolderChooserWnd::SubclassWindow(HWND hWnd)
{
    if (m_hWnd || !hWnd) return FALSE;
    if (!::SetWindowSubclass(hWnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) return FALSE;
    m_hWnd = hWnd;
    return TRUE;
}

void CFolderChooserWnd::UnsubclassWindow()
{
    if (!m_hWnd) return;
    ::RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
    m_hWnd = nullptr;
}

LRESULT CALLBACK CFolderChooserWnd::SubclassProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                 DWORD_PTR dwRefData)
{
    auto* pWnd = reinterpret_cast<CFolderChooserWnd*>(dwRefData);
    if (nMsg == WM_NCDESTROY) {
        // The last message of the window: nothing of ours may stay attached to it.
        pWnd->UnsubclassWindow();
        pWnd->OnNcDestroy();
        return ::DefSubclassProc(hWnd, nMsg, wParam, lParam);
    }
    LRESULT lResult = 0;
    if (pWnd->OnMessage(nMsg, wParam, lParam, lResult)) return lResult;
    return ::DefSubclassProc(hWnd, nMsg, wParam, lParam);
}

bool CFolderChooserWnd::OnMessage(UINT nMsg, WPARAM wParam, LPARAM, LRESULT& lResult)
{
    if (nMsg != WM_COMMAND) return false;
    const UINT nId = LOWORD(wParam);
    const UINT nCode = HIWORD(wParam);
    // Enter arrives here too, as a click of the default button. The shell's own OK would return
    // the item selected in the tree, which is not what the user typed.
    if (nId == IDOK && nCode == BN_CLICKED) {
        OnOK();
        lResult = 0;
        return true;
    }
    if (nId == IDC_FOLDER_EDIT && nCode == EN_CHANGE) {
        OnEditChange();
        lResult = 0;
        return true;
    }
    return false;
}

void CFolderChooserWnd::OnOK()
{
    CFolderChooser& chooser = *m_pChooser;
    // Read whole, not cut at the buffer: a cut path would be checked, made and accepted in
    // place of the one the user typed. One that does not fit is rejected as invalid.
    const CString text = GetDlgItemText(IDC_FOLDER_EDIT);
    ::lstrcpynA(chooser.m_szPath, text, sizeof chooser.m_szPath);
    if (ConfirmFolder(text) == FOLDER_OK) {
        chooser.m_bAccepted = 1;
        ::EndDialog(m_hWnd, IDOK);
        return;
    }
    if (HWND hEdit = GetDlgItem(IDC_FOLDER_EDIT))
        ::SendMessageA(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hEdit), TRUE);
}

void CFolderChooserWnd::OnEditChange()
{
    CFolderChooser& chooser = *m_pChooser;
    HWND hEdit = GetDlgItem(IDC_FOLDER_EDIT);
    chooser.m_szPath[0] = '\0';
    if (hEdit) ::GetWindowTextA(hEdit, chooser.m_szPath, sizeof chooser.m_szPath);
    // Any text may be tried; OK judges it.
    ::SendMessageA(m_hWnd, BFFM_ENABLEOK, 0, chooser.m_szPath[0] != '\0');
}
