#include "install/InstallDlg.h"

#include <cstring>

#include "common/InstallFacts.h"
#include "install/DecimalNumber.h"
#include "install/RegistryScope.h"

namespace {

// The install directory is kept where MAX_PATH bytes, its zero included, is the room: a recorded
// one that does not fit is taken as unreadable (a full installation records it anew), never cut.
const size_t kMaxInstallDirLength = MAX_PATH - 1;

}  // namespace

// No version known on either side until the description names one: two equal numbers, so a
// description without a "Version" entry finds an existing loader current.
CInstallDlg::CInstallDlg(HWND hParent) : CDialog(IDD_INSTALL, hParent), m_nNewVersion(-1), m_nOldVersion(-1) {}

BOOL CInstallDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    return TRUE;
}

void CInstallDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
}

HKEY CInstallDlg::RootKeyFromName(CString strName)
{
    if (strName == "HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
    if (strName == "HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
    if (strName == "HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
    return nullptr;
}

int CInstallDlg::DecimalNumber(const char* pszText)
{
    return ParseDecimalNumber(pszText);
}

CString CInstallDlg::PathInInstallDir(const char* pszName) const
{
    const std::string& dir = m_strPath.Str();
    return m_strPath + (!dir.empty() && dir.back() == '\\' ? "" : "\\") + pszName;
}

int CInstallDlg::CompareInstalled(CDescriptionFile& file)
{
    for (const CDescriptionEntry* pEntry = file.GetFirst(); pEntry; pEntry = file.GetNext()) {
        if (pEntry->m_strRoot == "Program" && pEntry->m_strName == "downurl") m_strDownURL = pEntry->m_strValue;
        if (pEntry->m_strRoot == "Program" && pEntry->m_strName == "sha256") m_strLoaderSha256 = pEntry->m_strValue;
        // A key outside our own is neither read nor allowed to decide anything: no full
        // installation for a value missing there, no version or install directory taken from it.
        if (!IsKeyInRegistryScope(pEntry->m_strRoot, pEntry->m_strKey)) continue;

        const HKEY hRoot = RootKeyFromName(pEntry->m_strRoot);
        if (pEntry->m_nType == REG_SZ && !m_reg.ReadString(hRoot, pEntry->m_strKey, pEntry->m_strName))
            return INSTALL_FULL;

        if (pEntry->m_strName == "Version") {
            m_nNewVersion = DecimalNumber(pEntry->m_strValue);
            m_nOldVersion = m_reg.ReadDword(hRoot, pEntry->m_strKey, "Version");
            m_hVersionRoot = hRoot;
            m_strVersionKey = pEntry->m_strKey;
        }
        if (pEntry->m_strName == "Path") {
            const char* pszPath = m_reg.ReadString(hRoot, pEntry->m_strKey, "Path");
            if (!pszPath || std::strlen(pszPath) > kMaxInstallDirLength) {
                m_strPath.Empty();
                return INSTALL_FULL;
            }
            m_strPath = pszPath;
        }
    }

    if (!PathExists(m_strPath)) return INSTALL_UPGRADE;
    if (!PathExists(PathInInstallDir(kLoaderFileName))) return INSTALL_UPGRADE;
    return m_nNewVersion == m_nOldVersion ? INSTALL_CURRENT : INSTALL_UPGRADE;
}
