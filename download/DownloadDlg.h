// The download progress dialog: fetches one file while the user watches a message line, a
// progress bar and the amount, and ends by itself when the transfer is over.
#pragma once

#include "download/DownloadJob.h"
#include "download/DownloadObserver.h"
#include "framework/CString.h"
#include "framework/Dialog.h"

class CDownloadDlg : public CDialog, private IDownloadObserver {
public:
    // DoModal's answer for a transfer that ended without the whole file: neither OK nor Cancel.
    static constexpr int kFailed = IDABORT;

    explicit CDownloadDlg(HWND hParent = nullptr);
    ~CDownloadDlg() override;

    CString m_strMessage;
    CString m_strFilePath;
    CString m_strURL;  // system ANSI code page
    CDownloadJob m_job;

    BOOL PreTranslateMessage(MSG* pMsg) override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnCancel() override;
    void OnOK() override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    // IDownloadObserver: the amount, the bar and the end, shown in the dialog's own controls.
    void OnDownloadProgress(ULONG ulProgress, ULONG ulProgressMax, bool bShowAmount) override;
    void OnDownloadArrived() override;
    void OnDownloadEnded(bool bSucceeded) override;

    void OnDownloadDone();
    void ShowProgress();

    static constexpr ULONGLONG kRedrawIntervalMs = 50;
    ULONG m_ulProgress = 0;  // of the latest notification: the bar
    ULONG m_ulProgressMax = 0;
    ULONG m_ulAmount = 0;  // of the latest one with a status text: the size text
    ULONG m_ulAmountMax = 0;
    bool m_bAmountPending = false;  // the size text is behind them
    ULONGLONG m_nLastShownAt = 0;  // GetTickCount64() of the last redraw; 0 before the first
};
