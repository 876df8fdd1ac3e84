// Download throughput, printed as figures: the download dialog's transfer against a bare
// asynchronous urlmon bind that only counts the bytes (the platform's own ceiling on this path).
// Usage: qxbench_download <url> <target file>
// Prints one line per way: "<name> <bytes> <seconds> <MB/s>", then the peak working set.
#include <windows.h>
#include <ole2.h>
#include <psapi.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>
#include <vector>

#include "download/DownloadDlg.h"

using Microsoft::WRL::ComPtr;

namespace {

double Now()
{
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Reads and drops everything: what urlmon itself can deliver on this machine.
class CountingCallback final : public IBindStatusCallback {
public:
    ULONGLONG bytes = 0;
    bool done = false;
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
        do {
            ULONG n = 0;
            hr = medium->pstm->Read(m_buffer.data(), static_cast<ULONG>(m_buffer.size()), &n);
            bytes += n;
        } while (hr == S_OK);
        return S_OK;
    }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

private:
    std::vector<BYTE> m_buffer = std::vector<BYTE>(65536);
};

void Report(const char* name, ULONGLONG bytes, double seconds)
{
    std::printf("%s %llu %.3f %.1f\n", name, bytes, seconds, static_cast<double>(bytes) / seconds / 1e6);
}

double BareBind(const std::wstring& url, ULONGLONG& bytes)
{
    CountingCallback callback;
    ComPtr<IMoniker> moniker;
    ComPtr<IBindCtx> context;
    ComPtr<IStream> stream;
    const double start = Now();
    if (FAILED(::CreateURLMoniker(nullptr, url.c_str(), &moniker)) ||
        FAILED(::CreateAsyncBindCtx(0, &callback, nullptr, &context)) ||
        FAILED(moniker->BindToStorage(context.Get(), nullptr, IID_IStream, reinterpret_cast<void**>(stream.GetAddressOf()))))
        return -1;
    MSG msg;
    while (!callback.done && ::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    bytes = callback.bytes;
    return Now() - start;
}

ULONGLONG FileSize(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: qxbench_download <url> <target file>\n");
        return 2;
    }
    ::OleInitialize(nullptr);
    const std::string url = argv[1];
    const std::wstring wideUrl(url.begin(), url.end());

    ULONGLONG bareBytes = 0;
    const double bareSeconds = BareBind(wideUrl, bareBytes);
    Report("bare-bind", bareBytes, bareSeconds);

    CDownloadDlg dlg;
    dlg.m_strMessage = "Tessaron AutoInstall Program is performing ...";
    dlg.m_strFilePath = argv[2];
    dlg.m_strURL = url.c_str();
    const double start = Now();
    const INT_PTR result = dlg.DoModal();
    const double seconds = Now() - start;
    Report(result == IDOK ? "dialog" : "dialog-failed", FileSize(argv[2]), seconds);

    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    std::printf("peak-working-set %.1f MB\n", static_cast<double>(counters.PeakWorkingSetSize) / 1e6);
    ::OleUninitialize();
    return result == IDOK ? 0 : 1;
}
