// One download of one file by one way, timed, with the peak working set of this process; run in a
// fresh process per download so the peak belongs to that way and that size alone.
// Usage: qxbench_download <case> <dialog|bare-bind|bare-bind-writes|URLDownloadToFileA> <url> <target file>
//   dialog              the progress dialog, as the installation shows it
//   bare-bind           an asynchronous urlmon bind that only counts the bytes: what urlmon itself
//                       delivers here, the ceiling for anything built on it
//   bare-bind-writes    the same bind, reading with the dialog's buffer size and writing through
//                       the same part file, moved over the target at the end, without a window:
//                       the fair anchor for the dialog, whose own cost is the rest
//   URLDownloadToFileA  the platform's own blocking file download, writing the same file
// Prints one sample line (see BenchCommon.h); a way that failed is named "<way>-failed".
#include <windows.h>
#include <ole2.h>
#include <psapi.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "download/BindCallback.h"
#include "download/DownloadDlg.h"
#include "download/PartFile.h"

using Microsoft::WRL::ComPtr;

namespace {

// Reads everything, with the dialog's buffer size, and writes it to `sink` when there is one.
class CountingCallback final : public IBindStatusCallback {
public:
    explicit CountingCallback(CPartFile* sink = nullptr) : m_sink(sink) {}
    ULONGLONG bytes = 0;
    bool done = false;
    bool written = true;
    HRESULT result = E_PENDING;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid != IID_IUnknown && riid != IID_IBindStatusCallback) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = this;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP OnStartBinding(DWORD, IBinding*) override { return S_OK; }
    STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnLowResource(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
    STDMETHODIMP OnStopBinding(HRESULT hr, LPCWSTR) override
    {
        result = hr;
        done = true;
        return S_OK;
    }
    STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override
    {
        *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PULLDATA;
        const ULONG cb = info->cbSize;
        ZeroMemory(info, cb);
        info->cbSize = cb;
        return S_OK;
    }
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override
    {
        if (!medium || medium->tymed != TYMED_ISTREAM) return S_OK;
        HRESULT hr;
        ULONG n = 0;
        do {
            n = 0;
            hr = medium->pstm->Read(m_buffer.data(), static_cast<ULONG>(m_buffer.size()), &n);
            bytes += n;
            if (m_sink && n > 0) written = m_sink->Write(m_buffer.data(), n) && written;
        } while (hr == S_OK && n > 0);
        return S_OK;
    }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

private:
    CPartFile* m_sink;
    std::vector<BYTE> m_buffer = std::vector<BYTE>(CBindCallback::kReadChunk);
};

bool Bind(CountingCallback& callback, const char* pszUrl, double& seconds, ULONGLONG& bytes)
{
    ComPtr<IMoniker> moniker;
    ComPtr<IBindCtx> context;
    ComPtr<IStream> stream;
    const double start = Now();
    if (FAILED(::CreateURLMoniker(nullptr, Wide(pszUrl).c_str(), &moniker)) ||
        FAILED(::CreateAsyncBindCtx(0, &callback, nullptr, &context)) ||
        FAILED(moniker->BindToStorage(context.Get(), nullptr, IID_IStream, reinterpret_cast<void**>(stream.GetAddressOf()))))
        return false;
    MSG msg;
    while (!callback.done && ::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    seconds = Now() - start;
    bytes = callback.bytes;
    return SUCCEEDED(callback.result);
}

// Nothing is written: the target file is not used.
bool BareBind(const char* pszUrl, const char*, double& seconds, ULONGLONG& bytes)
{
    CountingCallback callback;
    return Bind(callback, pszUrl, seconds, bytes);
}

// Timed from before the part file is made to after it is moved over the target, as the dialog's
// download is.
bool BareBindWrites(const char* pszUrl, const char* pszFile, double& seconds, ULONGLONG& bytes)
{
    ::DeleteFileA(pszFile);
    const double start = Now();
    CPartFile part(pszFile);
    CountingCallback callback(&part);
    double bound = 0;
    const bool ok = part.Create() && Bind(callback, pszUrl, bound, bytes) && callback.written && (part.Seal(), part.Commit());
    seconds = Now() - start;
    return ok;
}

bool Dialog(const char* pszUrl, const char* pszFile, double& seconds, ULONGLONG& bytes)
{
    ::DeleteFileA(pszFile);
    CDownloadDlg dlg;
    dlg.m_strMessage = "Tessaron AutoInstall Program is performing ...";
    dlg.m_strFilePath = pszFile;
    dlg.m_strURL = pszUrl;
    const double start = Now();
    const bool ok = dlg.DoModal() == IDOK;
    seconds = Now() - start;
    bytes = FileSize(pszFile);
    return ok;
}

bool PlatformFileDownload(const char* pszUrl, const char* pszFile, double& seconds, ULONGLONG& bytes)
{
    HRESULT hr;
    seconds = TimedUrlDownloadToFile(pszUrl, pszFile, hr);
    bytes = FileSize(pszFile);
    return SUCCEEDED(hr);
}

}  // namespace

int main(int argc, char** argv)
{
    using Way = bool (*)(const char*, const char*, double&, ULONGLONG&);
    static const struct {
        const char* name;
        Way run;
    } kWays[] = {
        {"dialog", Dialog},
        {"bare-bind", BareBind},
        {"bare-bind-writes", BareBindWrites},
        {"URLDownloadToFileA", PlatformFileDownload},
    };
    Way run = nullptr;
    for (const auto& way : kWays)
        if (argc == 5 && std::strcmp(argv[2], way.name) == 0) run = way.run;
    if (!run) {
        std::fprintf(stderr, "usage: qxbench_download <case> <dialog|bare-bind|bare-bind-writes|URLDownloadToFileA> <url> "
                             "<target file>\n");
        return 2;
    }
    ::OleInitialize(nullptr);
    double seconds = 0;
    ULONGLONG bytes = 0;
    const bool ok = run(argv[3], argv[4], seconds, bytes);

    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    const std::string way = std::string(argv[2]) + (ok ? "" : "-failed");
    PrintSample(argv[1], way.c_str(), seconds, static_cast<LONGLONG>(bytes), static_cast<LONGLONG>(counters.PeakWorkingSetSize));
    ::OleUninitialize();
    return ok ? 0 : 1;
}
