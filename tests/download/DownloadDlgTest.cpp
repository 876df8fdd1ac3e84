// The download progress dialog under Xvfb against the loopback server: what the user sees, what
// DoModal answers, and what the target file holds afterwards.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "TestEnv.h"
#include "TestServer.h"
#include "UiHelper.h"
#include "download/BindCallback.h"
#include "download/DownloadDlg.h"
#include "framework/Handles.h"
#include "resources/resource.h"

namespace {

const char kCaption[] = "File Download...";
const char kMessage[] = "Tessaron AutoInstall Program is performing ...";
const char kFailedText[] = "설치실패";

std::string Pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

class DownloadDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, ::OleInitialize(nullptr));
        m_folder = testenv::StatePath("dlgdownloads");
        testenv::RemoveTree(m_folder);
        ASSERT_TRUE(testenv::MakeDirs(m_folder));
        m_target = m_folder + "\\qxLoader.exe";
    }
    void TearDown() override { ::OleUninitialize(); }

    void Prepare(CDownloadDlg& dlg, const std::string& url) const
    {
        dlg.m_strMessage = kMessage;
        dlg.m_strFilePath = m_target.c_str();
        dlg.m_strURL = url.c_str();
    }

    bool FolderHoldsOnlyTheTarget() const { return testenv::FolderHoldsOnly(m_folder, "qxLoader.exe"); }

    std::string m_folder;
    std::string m_target;
};

// The dialog as the installer runs it, noting what the user sees when the transfer reports its
// end, just before the dialog closes.
class WatchedDownloadDlg : public CDownloadDlg {
public:
    std::string sizeAtEnd;
    std::string messageAtEnd;
    LRESULT barAtEnd = -1;
    int ends = 0;

protected:
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_DOWNLOAD_DONE) {
            ++ends;
            sizeAtEnd = GetDlgItemText(IDC_DOWNLOAD_SIZE).Str();
            messageAtEnd = GetDlgItemText(IDC_DOWNLOAD_TEXT).Str();
            barAtEnd = ::SendMessageA(GetDlgItem(IDC_DOWNLOAD_PROGRESS), PBM_GETPOS, 0, 0);
        }
        return CDownloadDlg::OnMessage(nMsg, wParam, lParam, lResult);
    }
};

// Every different text the size line showed, read until the dialog is gone.
std::vector<std::string> WatchSizeText(HWND dialog)
{
    std::vector<std::string> seen;
    HWND size = ui::FindChildById(dialog, IDC_DOWNLOAD_SIZE);
    for (int waited = 0; waited < static_cast<int>(testenv::ScaledMs(60000)) && ::IsWindow(dialog); waited += 5) {
        const std::string text = ui::GetText(size);
        if (::IsWindow(dialog) && (seen.empty() || seen.back() != text)) seen.push_back(text);
        ::Sleep(5);
    }
    return seen;
}

// Runs the thread's messages, as a page's thread does, until the server has logged the end of the
// request to `path` (bounded); false when it never did.
bool TakeMessagesUntilServed(const std::string& path, testserver::LogEntry& entry)
{
    for (int waited = 0; waited < static_cast<int>(testenv::ScaledMs(20000)); waited += 20) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            if (msg.message != WM_QUIT) ::DispatchMessageA(&msg);
        if (testserver::WaitForLogEntry(path, 0, &entry)) return true;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return false;
}

// A stream that always answers "done" and gives nothing: a broken or hostile source.
class EmptyStream final : public IStream {
public:
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }  // lives on the test's stack
    STDMETHODIMP Read(void*, ULONG, ULONG* pcbRead) override
    {
        ++reads;
        if (pcbRead) *pcbRead = 0;
        return reads > 1000 ? E_FAIL : S_OK;  // ends a runaway loop, so the test fails instead of hanging
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }
    int reads = 0;
};

}  // namespace

// A new callback holds its creator's reference and no other: one more, and every download's
// callback, with its read buffer, outlived the download.
TEST(BindCallback, CreateHandsOverItsOnlyReference)
{
    Microsoft::WRL::ComPtr<CBindCallback> callback = CBindCallback::Create("C:\\qx-unused.bin");
    ASSERT_TRUE(callback);
    callback->AddRef();
    EXPECT_EQ(1u, callback->Release());
}

TEST_F(DownloadDialog, CallbackRefusesACancelledStartAndStreamsThatGiveNothing)
{
    // Cancelled before urlmon starts it: the start is refused, so no request goes out, and no
    // file is made.
    Microsoft::WRL::ComPtr<CBindCallback> cancelled = CBindCallback::Create(m_target.c_str());
    cancelled->Cancel();
    EXPECT_EQ(E_ABORT, cancelled->OnStartBinding(0, nullptr));
    EXPECT_TRUE(FolderHoldsOnlyTheTarget());

    // A stream that keeps answering S_OK with no bytes does not hold the thread.
    Microsoft::WRL::ComPtr<CBindCallback> callback = CBindCallback::Create(m_target.c_str());
    ASSERT_EQ(S_OK, callback->OnStartBinding(0, nullptr));
    EmptyStream stream;
    STGMEDIUM medium{};
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = &stream;
    FORMATETC format{};
    EXPECT_EQ(S_OK, callback->OnDataAvailable(BSCF_FIRSTDATANOTIFICATION, 1000, &format, &medium));
    EXPECT_GE(1, stream.reads);
    callback->OnStopBinding(E_ABORT, nullptr);
    EXPECT_TRUE(FolderHoldsOnlyTheTarget());
}

// The last notice may count fewer bytes than its stream holds (seen under load: a small body
// whose data and end came at once, counted 0): the callback reads to the end anyway.
TEST_F(DownloadDialog, CallbackReadsTheLastNoticesStreamToItsEnd)
{
    Microsoft::WRL::ComPtr<CBindCallback> callback = CBindCallback::Create(m_target.c_str());
    ASSERT_EQ(S_OK, callback->OnStartBinding(0, nullptr));
    const std::string body = "[Program]\r\n";
    Microsoft::WRL::ComPtr<IStream> stream;
    stream.Attach(::SHCreateMemStream(reinterpret_cast<const BYTE*>(body.data()), static_cast<UINT>(body.size())));
    ASSERT_TRUE(stream);
    STGMEDIUM medium{};
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = stream.Get();
    FORMATETC format{};
    EXPECT_EQ(S_OK, callback->OnDataAvailable(BSCF_FIRSTDATANOTIFICATION | BSCF_LASTDATANOTIFICATION, 0, &format, &medium));
    callback->OnStopBinding(S_OK, nullptr);
    EXPECT_TRUE(callback->Outcome().Succeeded());
    EXPECT_EQ(body, testenv::ReadFileBytes(m_target));
}

TEST_F(DownloadDialog, WholeFileArrivesAndCompleteShowsBeforeTheDialogCloses)
{
    const std::string bytes = Pattern(6 * 1024 * 1024 + 5);
    // Arriving in steps 10 ms apart, so that the last step comes too soon after a redraw to get
    // one of its own.
    const std::string url = testserver::Url(testserver::PutFile("dlg/big.bin", bytes) + "?trickle=262144&delay=10");
    ASSERT_TRUE(testenv::WriteFileBytes(m_target, "an older loader"));
    WatchedDownloadDlg dlg;
    Prepare(dlg, url);
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(1, dlg.ends);
    EXPECT_EQ(kMessage, dlg.messageAtEnd);
    EXPECT_EQ("Complete", dlg.sizeAtEnd);
    EXPECT_EQ(100, dlg.barAtEnd) << "redraws are spaced out, but the last state must show";
    EXPECT_TRUE(bytes == testenv::ReadFileBytes(m_target));
    EXPECT_TRUE(FolderHoldsOnlyTheTarget());
}

TEST_F(DownloadDialog, ChunkedBodyShowsTheAmountTwice)
{
    const std::string bytes = Pattern(300 * 1024);
    const std::string path = testserver::PutFile("dlg/chunked.bin", bytes);
    CDownloadDlg dlg;
    Prepare(dlg, testserver::Url(path + "?chunked=1&trickle=32768&delay=40"));
    std::vector<std::string> seen;
    ui::Watcher watcher([&] {
        HWND h = ui::WaitForWindow(kCaption);
        ASSERT_NE(h, nullptr);
        seen = WatchSizeText(h);
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
    watcher.Join();
    bool bTwice = false;
    for (const std::string& text : seen) {
        int done = -1, total = -2;
        if (std::sscanf(text.c_str(), "%dK / %dK", &done, &total) == 2 && done == total && done > 0) bTwice = true;
    }
    EXPECT_TRUE(bTwice) << "texts seen: " << seen.size();
    EXPECT_TRUE(bytes == testenv::ReadFileBytes(m_target));
}

// The bar follows every notification; the size text only one that carries a status text.
class NotifiedDownloadDlg : public CDownloadDlg {
public:
    std::string sizeAfter;
    LRESULT barAfter = -1;

protected:
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg != WM_APP) return CDownloadDlg::OnMessage(nMsg, wParam, lParam, lResult);
        // Spoken to as the transfer's callback speaks to it, through its private observer face.
        ::IDownloadObserver& observer = *(::IDownloadObserver*)this;
        observer.OnDownloadProgress(12800, 102400, true);
        HWND bar = GetDlgItem(IDC_DOWNLOAD_PROGRESS);
        // Redraws are spaced out: notify until the bar shows the later amount (bounded).
        for (ULONGLONG start = ::GetTickCount64(); ::SendMessageA(bar, PBM_GETPOS, 0, 0) != 50 &&
                                                   ::GetTickCount64() - start < testenv::ScaledMs(10000);)
            observer.OnDownloadProgress(51200, 102400, false);
        barAfter = ::SendMessageA(bar, PBM_GETPOS, 0, 0);
        sizeAfter = GetDlgItemText(IDC_DOWNLOAD_SIZE).Str();
        ::PostMessageA(m_hWnd, WM_COMMAND, IDCANCEL, 0);
        lResult = 0;
        return true;
    }
};

TEST_F(DownloadDialog, AnEmptyStatusTextLeavesTheSizeText)
{
    NotifiedDownloadDlg dlg;
    Prepare(dlg, testserver::Url(testserver::PutFile("dlg/stalled.bin", Pattern(1000)) + "?stall=30"));
    ui::Watcher watcher([&] {
        HWND h = ui::WaitForWindow(kCaption);
        ASSERT_NE(h, nullptr);
        ::PostMessageA(h, WM_APP, 0, 0);
    });
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    watcher.Join();
    EXPECT_EQ(50, dlg.barAfter);
    EXPECT_EQ("12K / 100K", dlg.sizeAfter);
}

TEST_F(DownloadDialog, FailedTransferIsNotSuccessAndKeepsTheTarget)
{
    const std::string path = testserver::PutFile("dlg/file.bin", Pattern(200000));
    struct Case {
        const char* name;
        std::string url;
    };
    const Case cases[] = {
        {"404 page", testserver::Url("/dlg/missing.bin")},
        {"500 page", testserver::Url(path + "?status=500")},
        {"refused connection", testserver::RefusedUrl(path)},
        {"body cut mid-way", testserver::Url(path + "?cut=100000")},
        {"server silent, then gone", testserver::Url(path + "?stall=1&stall_after=1000")},
    };
    const std::string old = "the working loader";
    for (const Case& c : cases) {
        ASSERT_TRUE(testenv::WriteFileBytes(m_target, old));
        WatchedDownloadDlg dlg;
        Prepare(dlg, c.url);
        const INT_PTR result = dlg.DoModal();
        EXPECT_NE(IDOK, result) << c.name;
        EXPECT_NE(IDCANCEL, result) << c.name;
        EXPECT_EQ(kFailedText, dlg.sizeAtEnd) << c.name;
        EXPECT_EQ(old, testenv::ReadFileBytes(m_target)) << c.name;
        EXPECT_TRUE(FolderHoldsOnlyTheTarget()) << c.name;
    }
}

TEST_F(DownloadDialog, StartThatCannotRunEndsTheDialogAtOnce)
{
    struct Case {
        const char* name;
        std::string url;
    };
    const Case cases[] = {
        {"empty URL", ""},
        {"URL longer than the platform takes", testserver::Url("/" + std::string(2100, 'a'))},
    };
    for (const Case& c : cases) {
        CDownloadDlg dlg;
        Prepare(dlg, c.url);
        EXPECT_EQ(CDownloadDlg::kFailed, dlg.DoModal()) << c.name;
        EXPECT_FALSE(testenv::FileExists(m_target)) << c.name;
    }
}

TEST_F(DownloadDialog, CancelStopsTheTransferAndKeepsTheTarget)
{
    const std::string path = testserver::PutFile("dlg/slow.bin", Pattern(400000));
    ASSERT_TRUE(testenv::WriteFileBytes(m_target, "kept"));
    CDownloadDlg dlg;
    Prepare(dlg, testserver::Url(path + "?trickle=4000&delay=50"));
    ui::Watcher watcher([&] {
        HWND h = ui::WaitForWindow(kCaption);
        ASSERT_NE(h, nullptr);
        HWND size = ui::FindChildById(h, IDC_DOWNLOAD_SIZE);
        std::string text;
        for (int waited = 0; waited < static_cast<int>(testenv::ScaledMs(20000)) && (text = ui::GetText(size)).empty(); waited += 10) ::Sleep(10);
        ASSERT_NE("", text) << "no data arrived";
        ui::Screenshot(h, "download-dialog-transferring");
        EXPECT_TRUE(ui::ClickButton(h, IDCANCEL));
    });
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    watcher.Join();
    EXPECT_EQ("kept", testenv::ReadFileBytes(m_target));
    EXPECT_TRUE(FolderHoldsOnlyTheTarget());

    // The connection is let go of once urlmon's own messages have run, as a page's thread
    // takes them after the call.
    testserver::LogEntry entry{};
    ASSERT_TRUE(TakeMessagesUntilServed(path, entry));
    EXPECT_TRUE(entry.clientClosed);
    EXPECT_FALSE(entry.complete);
}

// The browser closing ends the dialog's loop with WM_QUIT, not with Cancel: the transfer must end
// with it, not finish later and put its file in place after the caller heard of failure.
TEST_F(DownloadDialog, QuitEndsTheTransferWithTheDialog)
{
    const std::string path = testserver::PutFile("dlg/quit.bin", Pattern(200000));
    ASSERT_TRUE(testenv::WriteFileBytes(m_target, "kept"));
    {
        CDownloadDlg dlg;
        Prepare(dlg, testserver::Url(path + "?trickle=20000&delay=100"));
        const DWORD thread = ::GetCurrentThreadId();
        ui::Watcher watcher([&] {
            ASSERT_NE(nullptr, ui::WaitForWindow(kCaption));
            ::PostThreadMessageA(thread, WM_QUIT, 0, 0);
        });
        EXPECT_NE(IDOK, dlg.DoModal());
        watcher.Join();
        // The quit is handed on to the thread's own loop; it is not this test's to keep.
        MSG quit;
        EXPECT_TRUE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        testserver::LogEntry entry{};
        ASSERT_TRUE(TakeMessagesUntilServed(path, entry));
        EXPECT_FALSE(entry.complete) << "the transfer went on after the dialog had ended";
    }
    EXPECT_EQ("kept", testenv::ReadFileBytes(m_target));
    EXPECT_TRUE(FolderHoldsOnlyTheTarget());
}

TEST_F(DownloadDialog, EnterAndEscapeDoNotEndIt)
{
    const std::string path = testserver::PutFile("dlg/keys.bin", Pattern(100000));
    CDownloadDlg dlg;
    Prepare(dlg, testserver::Url(path + "?trickle=1000&delay=50"));
    ui::Watcher watcher([&] {
        HWND h = ui::WaitForWindow(kCaption);
        ASSERT_NE(h, nullptr);
        HWND cancel = ui::FindChildById(h, IDCANCEL);
        for (UINT vk : {static_cast<UINT>(VK_RETURN), static_cast<UINT>(VK_ESCAPE)}) ASSERT_TRUE(ui::PressKey(cancel, vk));
        // A message posted after the keys is handled after them: once it has been, the keys had
        // their chance to end the dialog.
        ::SendMessageA(h, WM_NULL, 0, 0);
        ::SendMessageA(h, WM_NULL, 0, 0);
        EXPECT_TRUE(::IsWindowVisible(h)) << "a key ended the download";
        EXPECT_TRUE(ui::ClickButton(h, IDCANCEL));
    });
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    watcher.Join();
}
