// The full installation's registry step: every entry of the description under the loader's own
// keys is written, with the values only the installer knows filled in — the install directory, the
// loader's command line and the document type's flag word.
#include "common/InstallFacts.h"
#include "install/InstallDlg.h"
#include "install/RegistryScope.h"
#include "framework/Trace.h"

namespace {

const char kPathName[] = "Path";
const char kCommandSuffix[] = "command";
const char kDocumentType[] = "qxl_auto_file";

}  // namespace

CString CInstallDlg::LoaderCommandLine() const
{
    // The loader's path is quoted: unquoted, a path with spaces ("C:\Program Files\...") makes the
    // shell try "C:\Program.exe" first. The argument part stays " %1", as the loader expects it.
    CString strCommand;
    strCommand.Format("\"%s\" %%1", PathInInstallDir(kLoaderFileName).GetString());
    return strCommand;
}

bool CInstallDlg::WriteRegistryEntries(CDescriptionFile& file)
{
    for (const CDescriptionEntry* pEntry = file.GetFirst(); pEntry; pEntry = file.GetNext()) {
        // Plain sections are not the registry's.
        if (!IsRegistrySection(pEntry->m_strRoot)) continue;
        const HKEY hRoot = RootKeyFromName(pEntry->m_strRoot);
        if (!hRoot) {
            Trace("registry: [%.100s] is not a root key; the registry step fails", pEntry->m_strRoot.GetString());
            return false;
        }
        // Keys that are not the loader's own are passed over; the entries after them are still
        // written.
        const RegistryKeyRole role = RegistryKeyRoleOf(pEntry->m_strRoot, pEntry->m_strKey);
        if (role == REGKEY_OUT_OF_SCOPE) {
            Trace("registry: [%.100s\\%.200s] is not one of the loader's keys; \"%.100s\" is not written",
                  pEntry->m_strRoot.GetString(), pEntry->m_strKey.GetString(), pEntry->m_strName.GetString());
            continue;
        }

        // Where this user can write it (the machine's places, or the per-user ones).
        HKEY hPlaced = hRoot;
        CString strKey = pEntry->m_strKey;
        PlaceEntry(pEntry->m_strRoot, hPlaced, strKey);
        const char* pszKey = strKey;

        int nWritten;
        if (role == REGKEY_EXTENSION && pEntry->m_strName.IsEmpty()) {
            // The extension names our document type and no other, whatever the description says:
            // another type would make Launch run the world file as that type's program.
            nWritten = m_reg.WriteString(hPlaced, pszKey, "", kDocumentType);
        } else if (pEntry->m_nType == REG_SZ) {
            CString strText;
            if (IsSameRegistryName(pEntry->m_strName, kPathName))
                strText = m_strPath;
            else if (EndsWithRegistryName(pEntry->m_strKey, kCommandSuffix))
                strText = LoaderCommandLine();
            else
                strText = pEntry->m_strValue;
            nWritten = m_reg.WriteString(hPlaced, pszKey, pEntry->m_strName, strText);
        } else if (pEntry->m_nType == REG_BINARY) {
            // The document type's edit flags; every other binary value is a plain 1.
            const DWORD dwFlags = role == REGKEY_DOCUMENT_TYPE ? 0x00010000 : 1;
            const BYTE bytes[4] = {static_cast<BYTE>(dwFlags), static_cast<BYTE>(dwFlags >> 8),
                                   static_cast<BYTE>(dwFlags >> 16), static_cast<BYTE>(dwFlags >> 24)};
            nWritten = m_reg.WriteBinary(hPlaced, pszKey, pEntry->m_strName, bytes);
        } else {
            const int nNumber = DecimalNumber(pEntry->m_strValue);
            nWritten = m_reg.WriteDword(hPlaced, pszKey, pEntry->m_strName, &nNumber);
        }
        if (!nWritten) return false;
    }
    return true;
}
