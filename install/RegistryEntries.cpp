// The full installation's registry step: every entry of the description under the loader's own
// keys is written, with the values only the installer knows filled in — the install directory, the
// loader's command line and the document type's flag word.
#include <cstring>

#include "common/InstallFacts.h"
#include "install/InstallDlg.h"
#include "install/RegistryScope.h"

namespace {

const char kPathName[] = "Path";
const char kCommandSuffix[] = "command";
const char kDocumentType[] = "qxl_auto_file";

bool EndsWith(const CString& text, const char* pszSuffix)
{
    const size_t nSuffix = std::strlen(pszSuffix);
    const std::string& str = text.Str();
    return str.size() >= nSuffix && str.compare(str.size() - nSuffix, nSuffix, pszSuffix) == 0;
}

}  // namespace

CString CInstallDlg::LoaderCommandLine() const
{
    // The loader's path is quoted: unquoted, a path with spaces ("C:\Program Files\...") makes the
    // shell try "C:\Program.exe" first. The argument part stays " %1", as the loader expects it.
    CString strCommand;
    strCommand.Format("\"%s\" %%1", PathInInstallDir(kLoaderFileName).GetString());
    return strCommand;
}

int CInstallDlg::WriteRegistryEntries(CDescriptionFile& file)
{
    for (const CDescriptionEntry* pEntry = file.GetFirst(); pEntry; pEntry = file.GetNext()) {
        // Plain sections, and keys that are not the loader's own, are passed over; the entries
        // after them are still written.
        if (!IsKeyInRegistryScope(pEntry->m_strRoot, pEntry->m_strKey)) continue;
        HKEY hRoot = RootKeyFromName(pEntry->m_strRoot);

        int nWritten;
        if (pEntry->m_nType == REG_SZ) {
            CString strText;
            if (pEntry->m_strName == kPathName)
                strText = m_strPath;
            else if (EndsWith(pEntry->m_strKey, kCommandSuffix))
                strText = LoaderCommandLine();
            else
                strText = pEntry->m_strValue;
            nWritten = m_reg.WriteString(hRoot, pEntry->m_strKey, pEntry->m_strName, strText);
        } else if (pEntry->m_nType == REG_BINARY) {
            // The document type's edit flags; every other binary value is a plain 1.
            const DWORD dwFlags = pEntry->m_strKey == kDocumentType ? 0x00010000 : 1;
            const BYTE bytes[4] = {static_cast<BYTE>(dwFlags), static_cast<BYTE>(dwFlags >> 8),
                                   static_cast<BYTE>(dwFlags >> 16), static_cast<BYTE>(dwFlags >> 24)};
            nWritten = m_reg.WriteBinary(hRoot, pEntry->m_strKey, pEntry->m_strName, bytes);
        } else {
            const int nNumber = DecimalNumber(pEntry->m_strValue);
            nWritten = m_reg.WriteDword(hRoot, pEntry->m_strKey, pEntry->m_strName, &nNumber);
        }
        if (!nWritten) return 0;
    }
    return 1;
}
