// qxBroker.exe: the control's hands where its own process must not write (IE's Protected Mode).
// IE starts it at medium integrity for a low-integrity page, so anything on the machine may start
// it with anything: it runs one request of its one grammar, judges the page by the site lock of
// the DLL beside it (one list for both), and fetches and writes only as the control would, with
// the same URL policy, bounds, registry scope, digest, whole-program check and publisher pin. It
// takes no path, program or flag from its caller.
#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <string>

#include "common/BrokerCommand.h"
#include "checker/SiteLock.h"
#include "framework/Handles.h"
#include "framework/ModulePath.h"
#include "framework/ProcessRights.h"
#include "framework/TextConversion.h"
#include "framework/Trace.h"
#include "install/CheckRequest.h"
#include "launch/WorldLaunch.h"

namespace {

// The DLL beside this program, for its resources only: nothing of it runs here.
UniqueLibrary LoadDllBeside()
{
    std::wstring path = ModulePathW(nullptr);
    const size_t at = path.rfind(L'\\');
    if (at == std::wstring::npos) return UniqueLibrary();
    path.erase(at + 1);
    path += kBrokerDllFileName;
    return UniqueLibrary(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

class COleSession {
public:
    COleSession() : m_hr(::OleInitialize(nullptr)) {}
    ~COleSession()
    {
        if (SUCCEEDED(m_hr)) ::OleUninitialize();
    }
    COleSession(const COleSession&) = delete;
    COleSession& operator=(const COleSession&) = delete;

private:
    HRESULT m_hr;
};

int RunRequest(const BrokerRequest& request)
{
    const UniqueLibrary dll = LoadDllBeside();
    if (!dll) {
        Trace("broker: the DLL beside the broker cannot be read (error %lu); nothing is done", ::GetLastError());
        return BROKER_REFUSED;
    }
    PageName page;
    page.bNamed = request.bPageNamed;
    page.url = WideFromUtf8(request.page);
    CUrlPolicy urls;
    if (!PermitPage(page, ReadBuiltInSiteLock(dll.Get()), urls)) return BROKER_REFUSED;
    const std::wstring argument = WideFromUtf8(request.argument);
    if (argument.empty()) {
        Trace("broker: the argument is not UTF-8; nothing is done");
        return BROKER_REFUSED;
    }

    const COleSession ole;
    TraceProcessContext(request.bLaunch ? "broker Launch" : "broker Check");
    if (request.bLaunch) {
        WorldLaunchOptions options = DefaultWorldLaunchOptions();
        options.urls = urls;
        const CString url = AnsiFromWide(argument.c_str(), argument.size());
        return LaunchWorldFromUrl(url, options).bOpened ? BROKER_DONE : BROKER_CHECK_FAILED;
    }
    const std::unique_ptr<OLECHAR, void(WINAPI*)(BSTR)> bstr(
        ::SysAllocStringLen(argument.data(), static_cast<UINT>(argument.size())), ::SysFreeString);
    if (!bstr) return BROKER_CHECK_FAILED;
    return RunCheckRequest(bstr.get(), InstallSystem::Platform(), urls, dll.Get()) == 1 ? BROKER_DONE
                                                                                         : BROKER_CHECK_FAILED;
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
