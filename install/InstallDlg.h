// The installer object of one Check call: a hidden dialog whose window owns the installer's
// "Error" boxes, with the state that the installation steps share.
#pragma once

#include <windows.h>

#include "common/UserPlaces.h"
#include "description/DescriptionFile.h"
#include "download/UrlPolicy.h"
#include "framework/CString.h"
#include "framework/Dialog.h"
#include "framework/FileFind.h"
#include "framework/ProcessRights.h"
#include "install/RegValue.h"
#include "resources/resource.h"

// The platform calls behind the driver's decisions and waits; tests replace them where a real
// drive or a real second cannot be shaped.
struct InstallSystem {
    int (*hasFreeSpace)(char chDrive, ULONGLONG nRequiredMiB);
    void(WINAPI* sleep)(DWORD dwMilliseconds);
    // The tries that tell whether this process may write a place (ProcessRights.h), and the
    // user's own install root (UserPlaces.h).
    bool (*canWriteFolder)(const char* pszFolder) = CanWriteFolder;
    bool (*canWriteKey)(HKEY hRoot, const char* pszKey, REGSAM samView) = CanWriteKey;
    CString (*perUserRoot)() = PerUserInstallRoot;

    static InstallSystem Platform();
};

// A version nobody names: what a description without a "Version" entry offers, and what a record
// that cannot be read holds. Two of them are equal, so such a description finds a loader current.
constexpr int kNoVersion = -1;

// What CompareInstalled finds.
enum InstallVerdict {
    INSTALL_CURRENT = 0,  // the loader is there, in the version offered: nothing to do
    INSTALL_FULL = 1,     // a listed string value is missing, or the install directory is unreadable
    INSTALL_UPGRADE = 2,  // the directory or the loader file is missing, or the versions differ
};

// The comparison of a description with the machine: the verdict and everything the installation
// after it takes, as one value (the broker's request is carried out from it alike).
struct InstallComparison {
    InstallVerdict verdict = INSTALL_FULL;
    CString strDownURL;       // the loader's address: "downurl" in the section "Program"
    CString strLoaderSha256;  // the loader's SHA-256 in hex: "sha256" in "Program"; may be empty
    CString strPath;          // the recorded install directory, else the root; empty when unreadable
    int nNewVersion = kNoVersion;   // the version the description offers
    int nOldVersion = kNoVersion;   // the version the registry records
    HKEY hVersionRoot = nullptr;    // where the description's "Version" is read, for the upgrade
    CString strVersionKey;          // to record the new version there too
};

class CInstallDlg : public CDialog {
public:
    enum { IDD = IDD_INSTALL };

    explicit CInstallDlg(HWND hParent = nullptr);

    // The whole installation of one Check call; true when the loader is current, installed or
    // upgraded, false after a failure that the user has been told about in a message box.
    bool RunInstall();
    // Runs the download dialog for the loader into the install directory; true only when the
    // whole file arrived and passed the checks the comparison's digest and the build's pin ask.
    bool DownloadLoader(const InstallComparison& found);

    // Asks the user for the install directory; true with the folder in m_strPath, false
    // (m_strPath unchanged) when the user gave none.
    bool ChooseInstallDir();
    // Writes every entry of the description whose key is in the registry scope (RegistryScope.h),
    // passing over every other; 0 at the first write that fails or the first registry section
    // whose root is none of the three, with the entries before it left written (false). The install
    // directory, the loader's command line, the edit flags and the extension's document type are
    // the installer's, whatever the description says; value and key names are compared as the
    // registry compares them.
    bool WriteRegistryEntries(CDescriptionFile& file);
    // The document type's open command: the loader in the install directory, given the file.
    CString LoaderCommandLine() const;
    // A file in the install directory (or root): its name after one backslash, also when the
    // directory is a drive root that ends in one ("D:\").
    CString PathInInstallDir(const char* pszName) const;
    static CString PathIn(const CString& strDir, const char* pszName);

    // Walks the description against the registry and the disk from the root in m_strPath,
    // picking up the loader's address, the offered and recorded versions and the recorded install
    // directory on the way; the walk stops at the first listed string value that is missing.
    // Entries whose key is not in the registry scope are passed over, and a recorded install
    // directory that is not a folder on a drive of this machine counts as unreadable. Changes
    // nothing of the installer's own state.
    InstallComparison CompareInstalled(CDescriptionFile& file);

    // The root key that a description's section names ("HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT",
    // "HKEY_LOCAL_MACHINE", exactly); null for any other name.
    HKEY RootKeyFromName(CString strName);

    // The decimal number a description gives as text: leading white space, an optional sign, then
    // digits up to the first other character; 0 without digits. A number beyond the 32-bit range
    // is held at the nearest end of it.
    static int DecimalNumber(const char* pszText);

    CString m_strInfoURL;   // the update description's address
    CString m_strPath;      // the install root, later the loader's install directory
    CFileFind m_finder;     // the existence test
    CRegValue m_reg;

    InstallSystem m_system = InstallSystem::Platform();
    CUrlPolicy m_urls;  // where the description and the loader may come from
    // Where the entries go for a user who cannot write the machine's places: the document type
    // under HKEY_CURRENT_USER\Software\Classes, the machine's record under HKEY_CURRENT_USER.
    // Found by trying at each request (ChoosePlaces); both false: the places the description names.
    bool m_bClassesPerUser = false;
    bool m_bMachineRecordPerUser = false;
    // The module whose loader pin applies: this one, or for the broker the DLL beside it.
    HINSTANCE m_hPinModule = nullptr;  // null: AfxGetInstanceHandle()

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

private:
    // The "Error" box, owned by this hidden window.
    void ShowError(const char* pszText);
    // The existence test: a file search for the exact path, files and folders alike; a drive root,
    // which a search never finds, by its attributes.
    bool PathExists(const char* pszPath);
    // m_strPath = the first root whose drive has room and which this process can write; when a
    // root with room is denied, the user's own root (made when missing) if its drive has room;
    // false when none qualifies.
    bool PickDefaultRoot();
    // Finds by trying whether the machine's classes and record can be written (m_b...PerUser).
    void ChoosePlaces();
    // Where an entry of the description is read and written for this user: `hRoot` and `strKey`
    // moved to the per-user place when ChoosePlaces said so, else unchanged.
    void PlaceEntry(const char* pszRootName, HKEY& hRoot, CString& strKey) const;
    // Reads as the merged view of Windows does: the per-user place first, then the one named.
    const char* ReadPlacedString(const char* pszRootName, HKEY hRoot, const CString& strKey, const char* pszName);
    // Downloads the description into the root's "temp.ini", waits for it and loads it.
    bool FetchDescription(CDescriptionFile& file);
    bool RunFullInstallation(CDescriptionFile& file, const InstallComparison& found);
    bool RunUpgrade(CDescriptionFile& file, const InstallComparison& found);
};
