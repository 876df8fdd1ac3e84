#include "download/DownloadDlg.h"

#include <commctrl.h>

#include "download/ProgressText.h"
#include "resources/resource.h"

namespace {

const char kCompleteText[] = "Complete";
const char kFailedText[] = "설치실패";

}  // namespace

CDownloadDlg::CDownloadDlg(HWND hParent) : CDialog(IDD_DOWNLOAD, hParent) {}

CDownloadDlg::~CDownloadDlg() = default;

void CDownloadDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_DOWNLOAD_TEXT, m_strMessage);
}

BOOL CDownloadDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_job.SetTarget(m_strFilePath, m_strURL);
    if (FAILED(m_job.Start(this))) {
        // No transfer will ever end this dialog: say so and end it now.
        ::SetWindowTextA(GetDlgItem(IDC_DOWNLOAD_SIZE), kFailedText);
        EndDialog(kFailed);
    }
    return TRUE;
}

BOOL CDownloadDlg::PreTranslateMessage(MSG* pMsg)
{
    // Keys do not go through the dialog's keyboard handling: Enter and Escape must not end a
    // download. Only the Cancel button and the close box do.
    if (pMsg->message == WM_KEYDOWN) return FALSE;
    return CDialog::PreTranslateMessage(pMsg);
}

bool CDownloadDlg::OnMessage(UINT nMsg, WPARAM, LPARAM, LRESULT& lResult)
{
    if (nMsg == WM_DESTROY) {
        // However the dialog ends (Cancel, or its loop ended by WM_QUIT when the browser closes),
        // a transfer still running must never move its file into place after the caller has
        // heard of failure, nor report to a window that is gone.
        if (!m_job.IsFinished()) m_job.Cancel();
        return false;
    }
    if (nMsg != WM_DOWNLOAD_DONE) return false;
    OnDownloadDone();
    lResult = 0;
    return true;
}

// urlmon reports every block; redrawing the text and the bar for each costs more than the block
// itself on a fast link. The user sees a change every kRedrawIntervalMs, and the last state of
// the transfer always. The bar follows every notification; the size text only those that carry a
// status text, each showing the amounts of its own notification.
void CDownloadDlg::OnDownloadProgress(ULONG ulProgress, ULONG ulProgressMax, bool bShowAmount)
{
    m_ulProgress = ulProgress;
    m_ulProgressMax = ulProgressMax;
    if (bShowAmount) {
        m_ulAmount = ulProgress;
        m_ulAmountMax = ulProgressMax;
        m_bAmountPending = true;
    }
    const ULONGLONG now = ::GetTickCount64();
    if (m_nLastShownAt != 0 && now - m_nLastShownAt < kRedrawIntervalMs) return;
    m_nLastShownAt = now;
    ShowProgress();
}

void CDownloadDlg::ShowProgress()
{
    if (m_bAmountPending) ::SetWindowTextA(GetDlgItem(IDC_DOWNLOAD_SIZE), FormatSizeText(m_ulAmount, m_ulAmountMax));
    m_bAmountPending = false;
    ::SendMessageA(GetDlgItem(IDC_DOWNLOAD_PROGRESS), PBM_SETPOS,
                   static_cast<WPARAM>(ProgressBarPosition(m_ulProgress, m_ulProgressMax)), 0);
}

void CDownloadDlg::OnDownloadArrived()
{
    ShowProgress();
    ::SetWindowTextA(GetDlgItem(IDC_DOWNLOAD_SIZE), kCompleteText);
}

void CDownloadDlg::OnDownloadEnded(bool bSucceeded)
{
    if (!bSucceeded) ::SetWindowTextA(GetDlgItem(IDC_DOWNLOAD_SIZE), kFailedText);
    ::SendMessageA(m_hWnd, WM_DOWNLOAD_DONE, 0, 0);
}

void CDownloadDlg::OnDownloadDone()
{
    EndDialog(m_job.Succeeded() ? IDOK : kFailed);
}

void CDownloadDlg::OnCancel()
{
    m_job.Cancel();
    CDialog::OnCancel();
}

// There is no OK button; an IDOK command (Enter on a dialog without a default button) changes
// nothing.
void CDownloadDlg::OnOK() {}
