// qxBroker.exe: the control's hands where its own process must not write (IE's Protected Mode).
// IE starts it at medium integrity for a low-integrity page, so anything on the machine may start
// it with anything: it runs one request of its one grammar and ends. It does nothing of its own:
// it hosts the control of the DLL beside it, placed in a page of the address it was handed, with
// untrusted-caller safety on, so that the DLL's own site lock, URL policy, bounds, registry
// scope, digest, whole-program check and publisher pin judge the request exactly as in the page,
// and its dialogs and boxes are the DLL's own. It takes no path, program or flag from its caller.
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>
#include <oleauto.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <memory>
#include <string>

#include "common/BrokerCommand.h"
#include "framework/Handles.h"
#include "framework/ModulePath.h"
#include "framework/TextConversion.h"
#include "framework/Trace.h"
#include "qxChecker.h"

using Microsoft::WRL::ComPtr;

namespace {

const IID kIID_IObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

// The page as the control asks its site for it: by the container's moniker, which names the
// address the broker was handed. It lives on the stack of the one request.
class CPageSite final : public IOleClientSite {
public:
    explicit CPageSite(ComPtr<IMoniker> page) : m_page(std::move(page)) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = riid == IID_IUnknown || riid == IID_IOleClientSite ? static_cast<IOleClientSite*>(this) : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD dwWhichMoniker, IMoniker** ppmk) override
    {
        if (!ppmk) return E_POINTER;
        *ppmk = nullptr;
        if (dwWhichMoniker != OLEWHICHMK_CONTAINER || !m_page) return E_FAIL;
        *ppmk = m_page.Get();
        (*ppmk)->AddRef();
        return S_OK;
    }
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override
    {
        if (ppContainer) *ppContainer = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

private:
    ComPtr<IMoniker> m_page;
};

class COleSession {
public:
    COleSession() : m_hr(::OleInitialize(nullptr)) {}
    ~COleSession()
    {
        if (SUCCEEDED(m_hr)) ::OleUninitialize();
    }
    COleSession(const COleSession&) = delete;
    COleSession& operator=(const COleSession&) = delete;
    bool IsOpen() const { return SUCCEEDED(m_hr); }

private:
    HRESULT m_hr;
};

// The DLL beside this program, by its full path: never one found by a search.
std::wstring DllBeside()
{
    std::wstring path = ModulePathW(nullptr);
    const size_t at = path.rfind(L'\\');
    if (at == std::wstring::npos) return std::wstring();
    return path.erase(at + 1) + kBrokerDllFileName;
}

// Every DLL this process loads by name comes from the system folder, not from the folder it
// shares with the DLL, where another program's copy could lie. Where the platform cannot say so
// (Windows 7 without KB2533623), the loader's usual order stands.
void LoadSystemDllsFromTheSystemFolderOnly()
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto fn = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (fn) fn(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

int RunRequest(const BrokerRequest& request)
{
    LoadSystemDllsFromTheSystemFolderOnly();
    // The request runs here, at this process's own integrity: a Protected-Mode answer forced for
    // the page's process must not send it back to a broker again.
    ::SetEnvironmentVariableW(L"QX_FORCE_PROTECTED_MODE", nullptr);
    const COleSession ole;
    if (!ole.IsOpen()) return BROKER_CHECK_FAILED;
    const std::wstring dllPath = DllBeside();
    const UniqueLibrary dll(dllPath.empty() ? nullptr : ::LoadLibraryExW(dllPath.c_str(), nullptr, 0));
    GetClassObjectFn getClassObject = nullptr;
    if (dll) getClassObject = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(::GetProcAddress(dll.Get(), "DllGetClassObject")));
    if (!getClassObject) {
        Trace("broker: the DLL beside the broker cannot be loaded (error %lu); nothing is done", ::GetLastError());
        return BROKER_REFUSED;
    }

    // Only a named page is handed on: a container that names none would be a script host, which
    // the control trusts, and the broker's caller is no script host.
    ComPtr<IMoniker> page;
    const std::wstring pageUrl = WideFromUtf8(request.page);
    if (!request.bPageNamed || pageUrl.empty() || FAILED(::CreateURLMonikerEx(nullptr, pageUrl.c_str(), &page, URL_MK_UNIFORM))) {
        Trace("broker: no page that can be named; nothing is done");
        return BROKER_REFUSED;
    }
    const std::wstring argument = WideFromUtf8(request.argument);
    const std::unique_ptr<OLECHAR, void(WINAPI*)(BSTR)> bstr(
        ::SysAllocStringLen(argument.data(), static_cast<UINT>(argument.size())), ::SysFreeString);
    if (argument.empty() || !bstr) {
        Trace("broker: the argument is not UTF-8; nothing is done");
        return BROKER_REFUSED;
    }

    ComPtr<IClassFactory> factory;
    ComPtr<IChecker> checker;
    ComPtr<IOleObject> object;
    ComPtr<IObjectSafety> safety;
    CPageSite site(page);
    const DWORD dwSafety = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
    if (FAILED(getClassObject(CLSID_Checker, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()))) ||
        FAILED(factory->CreateInstance(nullptr, IID_IChecker, reinterpret_cast<void**>(checker.GetAddressOf()))) ||
        FAILED(checker.As(&object)) || FAILED(object->SetClientSite(&site)) ||
        FAILED(checker->QueryInterface(kIID_IObjectSafety, reinterpret_cast<void**>(safety.GetAddressOf()))) ||
        FAILED(safety->SetInterfaceSafetyOptions(IID_IDispatch, dwSafety, dwSafety))) {
        Trace("broker: the control of the DLL beside the broker cannot be placed; nothing is done");
        return BROKER_REFUSED;
    }
    int nExit = BROKER_DONE;
    if (request.bLaunch) {
        checker->Launch(bstr.get());
    } else {
        LONG bOk = 0;
        checker->Check(bstr.get(), &bOk);
        nExit = bOk == 1 ? BROKER_DONE : BROKER_CHECK_FAILED;
    }
    object->SetClientSite(nullptr);
    return nExit;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    const wchar_t* pszCommandLine = ::GetCommandLineW();
    const size_t nChars = pszCommandLine ? ::wcsnlen(pszCommandLine, kMaxBrokerCommandBytes + 1) : 0;
    BrokerRequest request;
    std::string why = "the command line is longer than 8192 bytes";
    if (nChars > kMaxBrokerCommandBytes ||
        !ParseBrokerCommandLine(Utf8FromWide(std::wstring(pszCommandLine, nChars)), request, why)) {
        Trace("broker: the command line is refused: %s", why.c_str());
        return BROKER_REFUSED;
    }
    // Nothing may leave as an exception: the page would hear of a crash instead of a 0.
    try {
        return RunRequest(request);
    } catch (...) {
        Trace("broker: the request ended with an exception; Check gives 0");
        return BROKER_CHECK_FAILED;
    }
}
