// The page's first Check, from a process that has never loaded the DLL, against a first bare fetch
// of the same description from a process that has never fetched anything; one run per process.
// Usage:
//   qxbench_first check <DLL path> <description URL>   LoadLibrary, DllGetClassObject and
//       CreateInstance, then Check as a page's script calls it (through IDispatch, so the type
//       library is loaded too: the DLL must be registered); the loader installed and current
//   qxbench_first bare <description URL> <scratch file>  URLDownloadToFileA of the description
// OLE is initialised before the clock starts, urlmon is in the process (this program imports it)
// without having been used, and so are the shell's and the window system's DLLs: a browser has
// all of them before any page runs. What LoadLibrary costs is then the DLL's own load and what
// only it brings (bcrypt).
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdio>
#include <initializer_list>
#include <cstring>

#include "bench/BenchCommon.h"
// The class and interface identifiers are defined here, from the generated header.
#include <initguid.h>
#include "qxChecker.h"

namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

// 1 or 0 as Check answered, -1 when no call was made.
LONG FirstCheck(const char* pszDll, const char* pszUrl)
{
    const double start = Now();
    const HMODULE hDll = ::LoadLibraryA(pszDll);
    const double loaded = Now();
    const auto getClassObject =
        hDll ? reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(::GetProcAddress(hDll, "DllGetClassObject"))) : nullptr;
    IClassFactory* pFactory = nullptr;
    IDispatch* pChecker = nullptr;
    if (!getClassObject || FAILED(getClassObject(CLSID_Checker, IID_IClassFactory, reinterpret_cast<void**>(&pFactory))))
        return -1;
    const HRESULT hrCreate = pFactory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&pChecker));
    pFactory->Release();
    if (FAILED(hrCreate)) return -1;
    const double created = Now();

    BSTR bstrUrl = ::SysAllocString(Wide(pszUrl).c_str());
    LPOLESTR pszName = const_cast<LPOLESTR>(L"Check");
    DISPID dispid = DISPID_UNKNOWN;
    VARIANT arg, result;
    ::VariantInit(&result);
    arg.vt = VT_BSTR;
    arg.bstrVal = bstrUrl;
    DISPPARAMS params{&arg, nullptr, 1, 0};
    HRESULT hr = pChecker->GetIDsOfNames(IID_NULL, &pszName, 1, LOCALE_USER_DEFAULT, &dispid);
    if (SUCCEEDED(hr)) hr = pChecker->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    const double called = Now();
    ::SysFreeString(bstrUrl);
    pChecker->Release();
    if (FAILED(hr)) return -1;

    PrintSample("first-Check", "Check", called - start);
    PrintSample("first-Check", "LoadLibrary", loaded - start);
    PrintSample("first-Check", "create", created - loaded);
    PrintSample("first-Check", "call", called - created);
    return result.vt == VT_I4 ? result.lVal : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool check = argc == 4 && std::strcmp(argv[1], "check") == 0;
    const bool bare = argc == 4 && std::strcmp(argv[1], "bare") == 0;
    if (!check && !bare) {
        std::fprintf(stderr,
                     "usage: qxbench_first check <DLL path> <description URL>\n"
                     "       qxbench_first bare <description URL> <scratch file>\n");
        return 2;
    }
    ::OleInitialize(nullptr);
    for (const char* pszBrowsersOwn : {"user32.dll", "gdi32.dll", "advapi32.dll", "shlwapi.dll", "shell32.dll", "comctl32.dll"})
        ::LoadLibraryA(pszBrowsersOwn);
    int rc = 0;
    if (check) {
        const LONG bOk = FirstCheck(argv[2], argv[3]);
        if (bOk != 1) std::printf("# first Check: %s\n", bOk < 0 ? "no call was made" : "Check answered 0");
        rc = bOk == 1 ? 0 : 1;
    } else {
        HRESULT hr;
        const double seconds = TimedUrlDownloadToFile(argv[2], argv[3], hr);
        PrintSample("first-Check", SUCCEEDED(hr) ? "bare-fetch" : "bare-fetch-failed", seconds);
        rc = SUCCEEDED(hr) ? 0 : 1;
    }
    ::OleUninitialize();
    return rc;
}
