#include "install/InstallDlg.h"

#include "common/InstallFacts.h"
#include "install/DecimalNumber.h"
#include "install/RegistryScope.h"
#include "folder/FolderPathForm.h"
#include "framework/Trace.h"

CInstallDlg::CInstallDlg(HWND hParent) : CDialog(IDD_INSTALL, hParent) {}

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

CString CInstallDlg::PathIn(const CString& strDir, const char* pszName)
{
    const std::string& dir = strDir.Str();
    return strDir + (!dir.empty() && dir.back() == '\\' ? "" : "\\") + pszName;
}

CString CInstallDlg::PathInInstallDir(const char* pszName) const
{
    return PathIn(m_strPath, pszName);
}

void CInstallDlg::PlaceEntry(const char* pszRootName, HKEY& hRoot, CString& strKey) const
{
    const RegistryKeyRole role = RegistryKeyRoleOf(pszRootName, strKey);
    const bool bClasses = role == REGKEY_EXTENSION || role == REGKEY_DOCUMENT_TYPE || role == REGKEY_BELOW_DOCUMENT_TYPE;
    if (bClasses && m_bClassesPerUser && hRoot == HKEY_CLASSES_ROOT) {
        hRoot = HKEY_CURRENT_USER;
        strKey = CString("Software\\Classes\\") + strKey;
    } else if (hRoot == HKEY_LOCAL_MACHINE && ((bClasses && m_bClassesPerUser) || (role == REGKEY_RECORD && m_bMachineRecordPerUser))) {
        // The machine's "Software\Classes\..." and "SOFTWARE\Tessaron\..." have the same path below
        // the user's root.
        hRoot = HKEY_CURRENT_USER;
    }
}

const char* CInstallDlg::ReadPlacedString(const char* pszRootName, HKEY hRoot, const CString& strKey, const char* pszName)
{
    HKEY hPlaced = hRoot;
    CString strPlaced = strKey;
    PlaceEntry(pszRootName, hPlaced, strPlaced);
    if (hPlaced != hRoot) {
        if (const char* pszText = m_reg.ReadString(hPlaced, strPlaced, pszName)) return pszText;
    }
    return m_reg.ReadString(hRoot, strKey, pszName);
}

InstallComparison CInstallDlg::CompareInstalled(CDescriptionFile& file)
{
    InstallComparison found;
    found.strPath = m_strPath;
    // The walk may stop early: what it found so far goes with the verdict.
    const auto verdict = [&found](InstallVerdict v) {
        found.verdict = v;
        return found;
    };
    for (const CDescriptionEntry* pEntry = file.GetFirst(); pEntry; pEntry = file.GetNext()) {
        if (pEntry->m_strRoot == "Program" && pEntry->m_strName == "downurl") found.strDownURL = pEntry->m_strValue;
        if (pEntry->m_strRoot == "Program" && pEntry->m_strName == "sha256") found.strLoaderSha256 = pEntry->m_strValue;
        if (!IsRegistrySection(pEntry->m_strRoot)) continue;
        const HKEY hRoot = RootKeyFromName(pEntry->m_strRoot);
        // A key outside our own is neither read nor allowed to decide anything: no full
        // installation for a value missing there, no version or install directory taken from it.
        // An unknown root is not skipped: nothing can be read there, so a string value listed
        // under it asks for the full installation, whose registry step then fails.
        if (hRoot && !IsKeyInRegistryScope(pEntry->m_strRoot, pEntry->m_strKey)) {
            Trace("registry: [%.100s\\%.200s] is not one of the loader's keys; \"%.100s\" is not read",
                  pEntry->m_strRoot.GetString(), pEntry->m_strKey.GetString(), pEntry->m_strName.GetString());
            continue;
        }

        if (pEntry->m_nType == REG_SZ && !ReadPlacedString(pEntry->m_strRoot, hRoot, pEntry->m_strKey, pEntry->m_strName))
            return verdict(INSTALL_FULL);

        if (IsSameRegistryName(pEntry->m_strName, "Version")) {
            // This user's record, where they have one of their own, else the one named.
            HKEY hPlaced = hRoot;
            CString strPlaced = pEntry->m_strKey;
            PlaceEntry(pEntry->m_strRoot, hPlaced, strPlaced);
            found.nNewVersion = DecimalNumber(pEntry->m_strValue);
            found.nOldVersion = m_reg.ReadDword(hPlaced, strPlaced, "Version");
            if (found.nOldVersion == kNoVersion && hPlaced != hRoot) found.nOldVersion = m_reg.ReadDword(hRoot, pEntry->m_strKey, "Version");
            found.hVersionRoot = hPlaced;
            found.strVersionKey = strPlaced;
        }
        if (IsSameRegistryName(pEntry->m_strName, "Path")) {
            // Only a folder on a drive of this machine is an install directory: a share would
            // hand the user's credentials to its host at every Check and take the loader from it.
            // The chooser's stricter rule for typed names is not this one: a folder Windows made
            // (".config") must not be installed again at every Check.
            const char* pszPath = ReadPlacedString(pEntry->m_strRoot, hRoot, pEntry->m_strKey, "Path");
            if (!pszPath || !IsLocalFolderPath(pszPath)) {
                if (pszPath) Trace("installer: the recorded install directory is not a local folder; a full installation follows");
                found.strPath.Empty();
                return verdict(INSTALL_FULL);
            }
            found.strPath = pszPath;
        }
    }

    if (!PathExists(found.strPath)) return verdict(INSTALL_UPGRADE);
    if (!PathExists(PathIn(found.strPath, kLoaderFileName))) return verdict(INSTALL_UPGRADE);
    return verdict(found.nNewVersion == found.nOldVersion ? INSTALL_CURRENT : INSTALL_UPGRADE);
}
