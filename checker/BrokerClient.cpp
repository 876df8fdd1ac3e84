#include "checker/BrokerClient.h"

#include <string>
#include <vector>

#include "common/BrokerCommand.h"
#include "framework/Handles.h"
#include "framework/MessagePump.h"
#include "framework/ModulePath.h"
#include "framework/TextConversion.h"
#include "framework/Trace.h"
#include "framework/WinApp.h"

int RunThroughBroker(bool bLaunch, const PageName& page, BSTR bstrArgument, HWND hOwner)
{
    const char* pszMethod = bLaunch ? "Launch" : "Check";
    std::wstring program = ModulePathW(AfxGetInstanceHandle());
    const size_t at = program.rfind(L'\\');
    if (at == std::wstring::npos) {
        Trace("%s: the DLL's folder is not known; the broker cannot be started", pszMethod);
        return -1;
    }
    program.erase(at + 1);
    program += kBrokerFileName;

    BrokerRequest request;
    request.bLaunch = bLaunch;
    request.owner = static_cast<std::uint64_t>(reinterpret_cast<UINT_PTR>(hOwner));
    request.bPageNamed = page.bNamed;
    request.page = Utf8FromWide(page.url);
    request.argument = Utf8FromWide(std::wstring(bstrArgument ? bstrArgument : L"", ::SysStringLen(bstrArgument)));
    const std::string arguments = FormatBrokerArguments(request);
    if (arguments.empty()) {
        Trace("%s: the request cannot be handed to the broker (an address is empty, holds a zero or is too long)",
              pszMethod);
        return -1;
    }
    // The program's name is quoted: the DLL's folder may hold blanks.
    std::wstring commandLine = L"\"" + program + L"\" " + WideFromUtf8(arguments);
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    // Named in full, never searched for: IE's policy lets exactly this program out of Protected
    // Mode, and only from where the registration listed it.
    if (!::CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        Trace("%s: the broker %ls cannot be started (error %lu)", pszMethod, program.c_str(), ::GetLastError());
        return -1;
    }
    const UniqueKernelHandle process(info.hProcess);
    const UniqueKernelHandle thread(info.hThread);
    // Its boxes and dialogs may come to the front over the page.
    ::AllowSetForegroundWindow(info.dwProcessId);
    if (!WaitPumpingMessages(process.Get())) {
        Trace("%s: the broker's end could not be waited for", pszMethod);
        return -1;
    }
    DWORD dwExit = 0;
    if (!::GetExitCodeProcess(process.Get(), &dwExit) || dwExit > BROKER_REFUSED) {
        Trace("%s: the broker ended with an unknown outcome (%lu)", pszMethod, dwExit);
        return -1;
    }
    Trace("%s: the broker's outcome is %lu", pszMethod, dwExit);
    return static_cast<int>(dwExit);
}
