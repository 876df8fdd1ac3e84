#include "framework/WinApp.h"

#include <vector>

#include "framework/ModulePath.h"
#include "framework/TextConversion.h"

namespace {

CWinApp* g_pApp = nullptr;
HINSTANCE g_hInstance = nullptr;

}  // namespace

CWinApp::CWinApp()
{
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this) g_pApp = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return 0;
}

CWinApp* AfxGetApp()
{
    return g_pApp;
}

HINSTANCE AfxGetInstanceHandle()
{
    return g_hInstance ? g_hInstance : ::GetModuleHandleA(nullptr);
}

CString AfxGetAppName()
{
    if (g_pApp && !g_pApp->m_strAppName.IsEmpty()) return g_pApp->m_strAppName;
    return AfxModuleTitle(AfxGetInstanceHandle());
}

BOOL AfxDllAttach(HINSTANCE hInstance)
{
    g_hInstance = hInstance;
    if (!g_pApp) return TRUE;
    g_pApp->m_hInstance = hInstance;
    g_pApp->m_strAppName = AfxModuleTitle(hInstance);
    return g_pApp->InitInstance();
}

void AfxDllDetach()
{
    if (g_pApp) g_pApp->ExitInstance();
    g_hInstance = nullptr;
}

CString AfxModulePath(HMODULE hModule)
{
    const std::wstring path = ModulePathW(hModule);
    return AnsiFromWide(path.c_str(), path.size());
}

CString AfxModuleTitle(HMODULE hModule)
{
    // A module loaded through its short (8.3) path reports that path; the title is the real name.
    std::string path = AfxModulePath(hModule).Str();
    const DWORD nLong = ::GetLongPathNameA(path.c_str(), nullptr, 0);
    if (nLong > 0) {
        std::vector<char> longPath(nLong);
        const DWORD nCopied = ::GetLongPathNameA(path.c_str(), longPath.data(), nLong);
        if (nCopied > 0 && nCopied < nLong) path.assign(longPath.data(), nCopied);
    }
    const size_t nameStart = path.find_last_of("\\/:");
    std::string name = nameStart == std::string::npos ? path : path.substr(nameStart + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return CString(std::move(name));
}
