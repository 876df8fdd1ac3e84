// A long day in one page's process: the control loaded once, as a browser loads it, then one
// Check that installs the loader, `checks` Checks on the current route and `launches` Launches,
// all through IDispatch as a page's script calls them. At the start, every 1,000 calls and at the
// end it prints what the process holds, so that growth shows:
//   committed   the process's private committed memory (KiB, summed over its regions), and its
//               working set
//   handles     GetProcessHandleCount; gdi, user: GetGuiResources (Wine answers 0 to all three,
//               so also:)
//   slots       the value a freshly made kernel handle, brush and menu take: a table that keeps
//               growing gives ever higher ones
//   ms/call     the mean time of the calls since the last line
//   left        part files (qxd*.tmp) left in the install folder
// Usage: qxbench_longday <DLL path> <install folder> <description URL> <world URL> <checks> <launches>
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/BenchCommon.h"
#include <initguid.h>
#include "qxChecker.h"

namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

int PartFilesLeft(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE h = ::FindFirstFileA((folder + "\\qxd*.tmp").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int n = 0;
    do ++n;
    while (::FindNextFileA(h, &found));
    ::FindClose(h);
    return n;
}

// The process's private committed memory, region by region (Wine's counters leave it 0).
SIZE_T CommittedPrivateBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const BYTE* p = nullptr; ::VirtualQuery(p, &region, sizeof region) == sizeof region;
         p = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize)
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    return total;
}

void PrintState(const char* pszPhase, int calls, double msPerCall, const std::string& folder)
{
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    DWORD handles = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
    HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HBRUSH brush = ::CreateSolidBrush(RGB(1, 2, 3));
    HMENU menu = ::CreateMenu();
    std::printf("%-8s %6d  committed %7lu KiB  working set %7lu KiB  handles %lu gdi %lu user %lu  slots handle "
                "0x%04lx brush 0x%04lx menu 0x%04lx  %8.3f ms/call  left %d\n",
                pszPhase, calls, static_cast<unsigned long>(CommittedPrivateBytes() / 1024),
                static_cast<unsigned long>(memory.WorkingSetSize / 1024), handles,
                ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS),
                ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS),
                static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(event)),
                static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(brush) & 0xFFFF),
                static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(menu) & 0xFFFF), msPerCall,
                PartFilesLeft(folder));
    std::fflush(stdout);
    ::CloseHandle(event);
    ::DeleteObject(brush);
    ::DestroyMenu(menu);
}

// Calls `name` with one text argument; the answer's number, or -1.
LONG Call(IDispatch* pControl, const wchar_t* pszName, const char* pszArgument)
{
    LPOLESTR name = const_cast<LPOLESTR>(pszName);
    DISPID dispid = DISPID_UNKNOWN;
    VARIANT arg, result;
    ::VariantInit(&result);
    arg.vt = VT_BSTR;
    arg.bstrVal = ::SysAllocString(Wide(pszArgument).c_str());
    DISPPARAMS params{&arg, nullptr, 1, 0};
    HRESULT hr = pControl->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &dispid);
    if (SUCCEEDED(hr))
        hr = pControl->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    ::SysFreeString(arg.bstrVal);
    const LONG answer = SUCCEEDED(hr) ? (result.vt == VT_I4 ? result.lVal : 0) : -1;
    ::VariantClear(&result);
    return answer;
}

// `count` calls, with a line every 1,000; false when one failed.
bool Run(IDispatch* pControl, const char* pszPhase, const wchar_t* pszName, const char* pszArgument, LONG expected,
         int count, const std::string& folder)
{
    double since = Now();
    for (int i = 1; i <= count; ++i) {
        if (Call(pControl, pszName, pszArgument) != expected) {
            std::printf("# %s: call %d failed\n", pszPhase, i);
            return false;
        }
        if (i % 1000 == 0 || i == count) {
            const int n = i % 1000 == 0 ? 1000 : i % 1000;
            PrintState(pszPhase, i, (Now() - since) * 1000 / n, folder);
            since = Now();
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: qxbench_longday <DLL path> <install folder> <description URL> <world URL> "
                             "<checks> <launches>\n");
        return 2;
    }
    const std::string folder = argv[2];
    ::OleInitialize(nullptr);
    const HMODULE hDll = ::LoadLibraryA(argv[1]);
    const auto getClassObject =
        hDll ? reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(::GetProcAddress(hDll, "DllGetClassObject"))) : nullptr;
    IClassFactory* pFactory = nullptr;
    IDispatch* pControl = nullptr;
    if (!getClassObject || FAILED(getClassObject(CLSID_Checker, IID_IClassFactory, reinterpret_cast<void**>(&pFactory))) ||
        FAILED(pFactory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&pControl)))) {
        std::printf("# the control could not be created\n");
        return 1;
    }
    pFactory->Release();
    PrintState("start", 0, 0, folder);
    // The first Check installs the loader; every later one finds it current.
    bool ok = Call(pControl, L"Check", argv[3]) == 1;
    PrintState("install", 1, 0, folder);
    ok = ok && Run(pControl, "Check", L"Check", argv[3], 1, std::atoi(argv[5]), folder);
    ok = ok && Run(pControl, "Launch", L"Launch", argv[4], 0, std::atoi(argv[6]), folder);
    pControl->Release();
    PrintState("end", 0, 0, folder);
    ::OleUninitialize();
    return ok ? 0 : 1;
}
