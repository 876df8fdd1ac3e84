#include "download/UrlFileDownload.h"

#include <urlmon.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "download/FileBindCallback.h"
#include "framework/CString.h"

using Microsoft::WRL::ComPtr;

namespace {

// After an abort the platform still owes us its end notification; this is how long we wait for
// it before we let go of the transfer anyway.
constexpr DWORD kAbortGraceMs = 5000;

std::wstring WideFromAnsi(const char* psz)
{
    const int nChars = ::MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);
    if (nChars <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(nChars), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, psz, -1, &wide[0], nChars);
    wide.resize(static_cast<size_t>(nChars) - 1);
    return wide;
}

// A file of our own beside the target, so the target is only ever replaced by a whole download.
CString MakePartFile(const char* pszTarget)
{
    std::string folder(pszTarget);
    const size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
    std::vector<char> name(MAX_PATH + 1);
    if (folder.size() > MAX_PATH - 14 || !::GetTempFileNameA(folder.c_str(), "qxd", 0, name.data())) return CString();
    return CString(name.data());
}

void PumpMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to take: the thread's own loop must see it.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

void WaitForEnd(CFileBindCallback& callback, DWORD dwIdleLimitMs, DownloadResult& result)
{
    DWORD dwAbortedAt = 0;
    while (!callback.IsStopped()) {
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        PumpMessages();
        const DWORD dwNow = ::GetTickCount();
        if (!result.timedOut && dwNow - callback.GetLastActivity() > dwIdleLimitMs) {
            result.timedOut = true;
            dwAbortedAt = dwNow;
            callback.Abort();
        } else if (result.timedOut && dwNow - dwAbortedAt > kAbortGraceMs) {
            break;
        }
    }
}

}  // namespace

DownloadResult DownloadUrlToFile(const char* pszUrl, const char* pszFilePath, DWORD dwIdleLimitMs)
{
    DownloadResult result;
    const std::wstring url = WideFromAnsi(pszUrl ? pszUrl : "");
    if (url.empty()) {
        result.hr = E_INVALIDARG;
        return result;
    }

    const CString partFile = MakePartFile(pszFilePath);
    if (partFile.IsEmpty()) {
        result.hr = HRESULT_FROM_WIN32(::GetLastError());
        result.writeFailed = true;
        return result;
    }

    ComPtr<CFileBindCallback> callback = CFileBindCallback::Create(partFile);
    ComPtr<IMoniker> moniker;
    ComPtr<IBindCtx> bindCtx;
    result.hr = callback ? S_OK : E_OUTOFMEMORY;
    if (SUCCEEDED(result.hr)) result.hr = ::CreateURLMonikerEx(nullptr, url.c_str(), &moniker, URL_MK_UNIFORM);
    if (SUCCEEDED(result.hr)) result.hr = ::CreateAsyncBindCtx(0, callback.Get(), nullptr, &bindCtx);
    if (SUCCEEDED(result.hr)) {
        ComPtr<IStream> stream;
        const HRESULT hrBind = moniker->BindToStorage(bindCtx.Get(), nullptr, IID_IStream,
                                                      reinterpret_cast<void**>(stream.GetAddressOf()));
        if (FAILED(hrBind) && !callback->IsStopped()) {
            result.hr = hrBind;
        } else {
            WaitForEnd(*callback.Get(), dwIdleLimitMs, result);
            result.hr = callback->IsStopped() ? callback->GetResult() : E_ABORT;
        }
        ::RevokeBindStatusCallback(bindCtx.Get(), callback.Get());
    }
    bindCtx.Reset();
    moniker.Reset();
    // urlmon tears a finished or aborted transfer down through messages it has posted to this
    // thread; until they run, an aborted connection stays open.
    PumpMessages();
    if (callback) {
        result.httpStatus = callback->GetHttpStatus();
        result.writeFailed = callback->WriteFailed();
        result.incomplete = !callback->ReceivedWholeBody();
    }

    const bool bMoved = result.Succeeded() &&
                        ::MoveFileExA(partFile, pszFilePath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
    if (!bMoved) {
        if (result.Succeeded()) {
            result.hr = HRESULT_FROM_WIN32(::GetLastError());
            result.writeFailed = true;
        }
        ::DeleteFileA(partFile);
    }
    return result;
}
