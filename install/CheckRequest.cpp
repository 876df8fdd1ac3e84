#include "install/CheckRequest.h"

#include "framework/BstrText.h"
#include "resources/resource.h"

LONG RunCheckRequest(BSTR bstrLoaderInfo, const InstallSystem& system)
{
    CInstallDlg installer(nullptr);
    installer.m_system = system;
    installer.m_strInfoURL = AnsiFromBstr(bstrLoaderInfo);
    // Never shown: the window only owns the "Error" boxes. Without it they are merely unowned.
    installer.Create(IDD_INSTALL, nullptr);
    return installer.RunInstall() ? 1 : 0;
}
