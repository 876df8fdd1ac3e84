#include "ProductDll.h"

#include "TestEnv.h"

namespace productdll {

std::string Path()
{
    return testenv::WindowsPath(QX_DLL_PATH);
}

std::string SiteLockedPath()
{
    return testenv::WindowsPath(QX_SITELOCK_DLL_PATH);
}

}  // namespace productdll
