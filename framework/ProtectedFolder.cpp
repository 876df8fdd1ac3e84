#include "framework/ProtectedFolder.h"

#include <windows.h>
#include <sddl.h>

#include "framework/Trace.h"

namespace {

// OW (owner rights) rather than the creator's SID: whoever owns the folder or a file in it keeps
// full control, and nothing else of the owner's (such as changing the DACL) is implied.
const char kProtectedFolderSddl[] =
    "D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

class CLocalSecurityDescriptor {
public:
    CLocalSecurityDescriptor()
    {
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(kProtectedFolderSddl, SDDL_REVISION_1, &m_pDescriptor,
                                                                    nullptr))
            m_pDescriptor = nullptr;
    }
    ~CLocalSecurityDescriptor() { ::LocalFree(m_pDescriptor); }
    CLocalSecurityDescriptor(const CLocalSecurityDescriptor&) = delete;
    CLocalSecurityDescriptor& operator=(const CLocalSecurityDescriptor&) = delete;
    PSECURITY_DESCRIPTOR Get() const { return m_pDescriptor; }

private:
    PSECURITY_DESCRIPTOR m_pDescriptor = nullptr;
};

}  // namespace

bool CreateProtectedFolder(const char* pszPath)
{
    const CLocalSecurityDescriptor descriptor;
    if (!descriptor.Get()) {
        // Never an unprotected folder in its place: the caller finds none and fails as it would.
        const DWORD dwError = ::GetLastError();
        Trace("folder: no protected descriptor for %s (error %lu); it is not made", pszPath, dwError);
        ::SetLastError(dwError);
        return false;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.Get(), FALSE};
    return ::CreateDirectoryA(pszPath, &attributes) != FALSE;
}
