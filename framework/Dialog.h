// The framework's dialog: a window made from a dialog template of the module, run modeless
// (Create) or modal (DoModal) with a message loop of its own that lets PreTranslateMessage see
// every message first.
#pragma once

#include "framework/CString.h"
#include "framework/Wnd.h"

// Carries the direction of a data exchange between a dialog's members and its controls.
class CDataExchange {
public:
    CDataExchange(HWND hDlg, BOOL bSaveAndValidate) : m_hDlg(hDlg), m_bSaveAndValidate(bSaveAndValidate) {}
    HWND m_hDlg;
    BOOL m_bSaveAndValidate;
};

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, HWND hParent = nullptr);

    // Modeless: the window is created, hidden unless the template says WS_VISIBLE.
    BOOL Create(UINT nIDTemplate, HWND hParent = nullptr);
    // Modal: 1 and 2 for OK and Cancel, the value given to EndDialog, or -1 when the window
    // cannot be created.
    INT_PTR DoModal();
    void EndDialog(int nResult);

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    BOOL PreTranslateMessage(MSG* pMsg) override;

protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();

    UINT m_nIDTemplate;
    HWND m_hParent;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    HWND CreateFromTemplate(UINT nIDTemplate, HWND hParent);
    void RunModalLoop();

    bool m_bModal = false;
    bool m_bModalRunning = false;
    INT_PTR m_nModalResult = -1;
};
