#include "framework/Dialog.h"

#include "framework/WinApp.h"

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value)
{
    HWND hItem = ::GetDlgItem(pDX->m_hDlg, nIDC);
    if (!hItem) return;
    if (pDX->m_bSaveAndValidate) {
        const int nLength = ::GetWindowTextLengthA(hItem);
        std::string text(static_cast<size_t>(nLength) + 1, '\0');
        const int nCopied = ::GetWindowTextA(hItem, &text[0], nLength + 1);
        text.resize(static_cast<size_t>(nCopied));
        value = CString(std::move(text));
    } else {
        ::SetWindowTextA(hItem, value);
    }
}

CDialog::CDialog(UINT nIDTemplate, HWND hParent) : m_nIDTemplate(nIDTemplate), m_hParent(hParent) {}

HWND CDialog::CreateFromTemplate(UINT nIDTemplate, HWND hParent)
{
    HINSTANCE hInstance = AfxGetInstanceHandle();
    HRSRC hResource = ::FindResourceA(hInstance, MAKEINTRESOURCEA(nIDTemplate), MAKEINTRESOURCEA(5) /*RT_DIALOG*/);
    if (!hResource) return nullptr;
    HGLOBAL hTemplate = ::LoadResource(hInstance, hResource);
    const void* pTemplate = hTemplate ? ::LockResource(hTemplate) : nullptr;
    if (!pTemplate) return nullptr;
    return ::CreateDialogIndirectParamA(hInstance, static_cast<LPCDLGTEMPLATEA>(pTemplate), hParent, DialogProc,
                                        reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::Create(UINT nIDTemplate, HWND hParent)
{
    m_nIDTemplate = nIDTemplate;
    m_hParent = hParent;
    m_bModal = false;
    return CreateFromTemplate(nIDTemplate, hParent) != nullptr;
}

INT_PTR CDialog::DoModal()
{
    m_bModal = true;
    m_nModalResult = -1;
    // The owner is disabled while the dialog runs, as with any modal dialog.
    HWND hOwner = m_hParent;
    const bool bOwnerWasEnabled = hOwner && ::IsWindowEnabled(hOwner);
    m_bModalRunning = true;
    if (!CreateFromTemplate(m_nIDTemplate, hOwner)) {
        m_bModal = false;
        m_bModalRunning = false;
        return -1;
    }
    if (bOwnerWasEnabled) ::EnableWindow(hOwner, FALSE);
    // EndDialog may already have been called from OnInitDialog.
    if (m_bModalRunning && m_hWnd) {
        ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
        RunModalLoop();
    }
    if (bOwnerWasEnabled) ::EnableWindow(hOwner, TRUE);
    if (hOwner && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(hOwner);
    DestroyWindow();
    m_bModal = false;
    return m_nModalResult;
}

void CDialog::RunModalLoop()
{
    MSG msg;
    while (m_bModalRunning && m_hWnd && ::IsWindow(m_hWnd)) {
        const BOOL bGot = ::GetMessageA(&msg, nullptr, 0, 0);
        if (bGot == 0) {
            // WM_QUIT belongs to the loop outside ours: hand it on and end this dialog.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (bGot == -1) break;
        const bool bOurs = msg.hwnd == m_hWnd || ::IsChild(m_hWnd, msg.hwnd);
        if (bOurs && PreTranslateMessage(&msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    m_bModalRunning = false;
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    if (m_bModal) {
        m_bModalRunning = false;
        // Wake the loop even when no other message is on its way.
        if (m_hWnd) ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
    } else if (m_hWnd) {
        ::ShowWindow(m_hWnd, SW_HIDE);
    }
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(m_hWnd, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg)
{
    // Tab, Enter, Escape and mnemonics: the platform's dialog keyboard handling.
    return ::IsDialogMessageA(m_hWnd, pMsg);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    CDialog* pDlg = nullptr;
    if (nMsg == WM_INITDIALOG) {
        pDlg = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        pDlg->m_hWnd = hWnd;
        return pDlg->OnInitDialog();
    }
    pDlg = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    if (!pDlg) return FALSE;

    LRESULT lResult = 0;
    if (pDlg->OnMessage(nMsg, wParam, lParam, lResult)) {
        ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, lResult);
        return TRUE;
    }
    switch (nMsg) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED || lParam == 0) {
            if (LOWORD(wParam) == IDOK) {
                pDlg->OnOK();
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                pDlg->OnCancel();
                return TRUE;
            }
        }
        break;
    case WM_NCDESTROY:
        ::SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        pDlg->OnNcDestroy();
        break;
    default:
        break;
    }
    return FALSE;
}
