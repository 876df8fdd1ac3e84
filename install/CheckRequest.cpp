#include "install/CheckRequest.h"

#include "framework/BstrText.h"

LONG RunCheckRequest(BSTR bstrLoaderInfo, const InstallSystem& system, const CUrlPolicy& urls, HINSTANCE hPinModule)
{
    CInstallDlg installer(nullptr);
    installer.m_hPinModule = hPinModule;
    installer.m_system = system;
    installer.m_urls = urls;
    installer.m_strInfoURL = AnsiFromBstr(bstrLoaderInfo);
    // The hidden window that owns the "Error" boxes is made with the first of them: making it
    // costs more than fetching a small description, and the current route shows nothing.
    // The one place where the page's 1 or 0 is made.
    return installer.RunInstall() ? 1 : 0;
}
