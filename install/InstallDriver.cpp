// The installation driver of one Check call: the install root, the update description, the
// comparison with what is installed, and the full installation or the upgrade.
#include <windows.h>

#include "download/DownloadDlg.h"
#include "download/UrlFileDownload.h"
#include "framework/AppMessageBox.h"
#include "framework/ProtectedFolder.h"
#include "framework/Trace.h"
#include "framework/WinApp.h"
#include "common/DriveSpace.h"
#include "common/InstallFacts.h"
#include "install/InstallDlg.h"
#include "install/LoaderSigners.h"
#include "resources/resource.h"

namespace {

const char kVersionKey[] = "SOFTWARE\\Tessaron\\qxLoader";
// The record's key under the machine's root, tried for this user's rights.
const char kMachineRecordKey[] = "SOFTWARE\\Tessaron";
// The description download may leave its file a moment late: three looks, a second apart.
constexpr int kDescriptionTests = 3;
constexpr DWORD kDescriptionWaitMs = 1000;
// A description is a page of text; anything larger is not one.
constexpr ULONGLONG kMaxDescriptionBytes = 1024 * 1024;
#ifdef QX_REQUIRE_LOADER_SHA256
constexpr bool kRequireLoaderSha256 = true;
#else
constexpr bool kRequireLoaderSha256 = false;
#endif

// Its result is not the test of the folder: a later look for the folder or a file in it is. Only
// the reason goes to the trace.
void MakeFolder(const char* pszPath)
{
    if (!CreateProtectedFolder(pszPath) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        Trace("installer: %s cannot be made (error %lu)", pszPath, ::GetLastError());
}

}  // namespace

InstallSystem InstallSystem::Platform()
{
    return InstallSystem{HasFreeSpace, ::Sleep};
}

void CInstallDlg::ShowError(const char* pszText)
{
    Trace("installer: %s", pszText);
    // Never shown itself: the window only owns these boxes.
    if (!m_hWnd) Create(IDD_INSTALL, nullptr);
    ::MessageBoxA(m_hWnd, pszText, "Error", MB_OK | MB_ICONEXCLAMATION);
}

bool CInstallDlg::PathExists(const char* pszPath)
{
    // "D:" or "D:\": the chooser accepts a root as the install folder.
    const bool bDriveRoot = pszPath && ((pszPath[0] >= 'A' && pszPath[0] <= 'Z') || (pszPath[0] >= 'a' && pszPath[0] <= 'z')) &&
                            pszPath[1] == ':' && (pszPath[2] == '\0' || (pszPath[2] == '\\' && pszPath[3] == '\0'));
    if (bDriveRoot) return ::GetFileAttributesA(pszPath) != INVALID_FILE_ATTRIBUTES;
    const bool bFound = m_finder.FindFile(pszPath);
    m_finder.Close();
    return bFound;
}

bool CInstallDlg::PickDefaultRoot()
{
    bool bDenied = false;
    for (const char* pszRoot : {kInstallRootC, kInstallRootD}) {
        const char chDrive = static_cast<char>(pszRoot[0] | 0x20);
        if (!m_system.hasFreeSpace(chDrive, kRequiredFreeMiB)) continue;
        if (m_system.canWriteFolder(pszRoot)) {
            m_strPath = pszRoot;
            return true;
        }
        Trace("installer: %s has room but cannot be written by this user", pszRoot);
        bDenied = true;
    }
    // Only a root that was denied, not one without room, sends the installation to the user's own
    // places: a full drive is full for them too.
    if (!bDenied) return false;
    const CString strUserRoot = m_system.perUserRoot();
    if (strUserRoot.IsEmpty() || !m_system.hasFreeSpace(static_cast<char>(strUserRoot[0] | 0x20), kRequiredFreeMiB) ||
        !MakeFolderPath(strUserRoot) || !m_system.canWriteFolder(strUserRoot)) {
        Trace("installer: the user's own install root %s cannot be used either", strUserRoot.GetString());
        return false;
    }
    Trace("installer: the install root is the user's own, %s, in place of the machine's", strUserRoot.GetString());
    m_strPath = strUserRoot;
    return true;
}

void CInstallDlg::ChoosePlaces()
{
    m_bClassesPerUser = !m_system.canWriteKey(HKEY_LOCAL_MACHINE, "Software\\Classes\\qxl_auto_file", 0);
    m_bMachineRecordPerUser = !m_system.canWriteKey(HKEY_LOCAL_MACHINE, kMachineRecordKey, 0);
    if (m_bClassesPerUser)
        Trace("installer: the machine's classes cannot be written; the document type goes to HKEY_CURRENT_USER\\Software\\Classes");
    if (m_bMachineRecordPerUser)
        Trace("installer: HKEY_LOCAL_MACHINE\\%s cannot be written; its entries go to HKEY_CURRENT_USER", kMachineRecordKey);
}

bool CInstallDlg::FetchDescription(CDescriptionFile& file)
{
    if (!PathExists(m_strPath)) MakeFolder(m_strPath);
    const CString strLocal = PathInInstallDir("temp.ini");

    // A description left by an earlier Check must never pass for this one; a failed download
    // leaves no file, so it is then missing like any other.
    ::DeleteFileA(strLocal);
    DownloadRules rules;
    rules.urls = m_urls;
    rules.cbMaxBytes = kMaxDescriptionBytes;
    DownloadUrlToFile(m_strInfoURL, strLocal, rules);

    bool bFound = PathExists(strLocal);
    for (int nTest = 1; !bFound; ++nTest) {
        m_system.sleep(kDescriptionWaitMs);
        if (nTest == kDescriptionTests) break;
        bFound = PathExists(strLocal);
    }
    if (!bFound) {
        CString strText;
        strText.Format("%s 파일을 찾지 못했습니다.", m_strInfoURL.GetString());
        ShowError(strText);
    }

    if (!file.Load(strLocal)) {
        CString strText;
        strText.Format("%s 파일을 파싱하지 못했습니다", strLocal.GetString());
        ShowError(strText);
        return false;
    }
    return true;
}

bool CInstallDlg::RunInstall()
{
    CDescriptionFile file;
    if (!PickDefaultRoot()) {
        Trace("installer: neither C: nor D: has %llu MiB free", static_cast<unsigned long long>(kRequiredFreeMiB));
        AfxMessageBox("ini 파일을 다운로드 받을 폴더를 생성하지 못했습니다.", MB_OK);
        return false;
    }
    if (!FetchDescription(file)) return false;

    ChoosePlaces();
    const InstallComparison found = CompareInstalled(file);
    switch (found.verdict) {
    case INSTALL_CURRENT:
        return true;
    case INSTALL_FULL:
        return RunFullInstallation(file, found);
    default:
        return RunUpgrade(file, found);
    }
}

bool CInstallDlg::RunFullInstallation(CDescriptionFile& file, const InstallComparison& found)
{
    if (PickDefaultRoot()) {
        MakeFolder(m_strPath);
    } else if (!ChooseInstallDir()) {
        ShowError("전체설치 실패");
        return false;
    }
    if (!WriteRegistryEntries(file)) {
        ShowError("전체설치실패");
        return false;
    }
    if (!DownloadLoader(found)) {
        Trace("installer: the loader from %s did not arrive", found.strDownURL.GetString());
        AfxMessageBox("DownProgram실패", MB_OK);
        ShowError("전체설치 실패");
        return false;
    }
    return true;
}

bool CInstallDlg::RunUpgrade(CDescriptionFile& file, const InstallComparison& found)
{
    m_strPath = found.strPath;
    if (!PathExists(m_strPath)) MakeFolder(m_strPath);
    // An installation this user cannot write (a machine-wide one, for a standard user) is not
    // theirs to upgrade, and no page may ask for an elevation: the loader is installed afresh
    // where this user can write it, and that record then decides for them. The other copy stays.
    if (!m_system.canWriteFolder(m_strPath)) {
        Trace("installer: %s cannot be written by this user; the loader is installed afresh in place of an upgrade",
              m_strPath.GetString());
        return RunFullInstallation(file, found);
    }
    if (!DownloadLoader(found)) {
        Trace("installer: the loader from %s did not arrive", found.strDownURL.GetString());
        AfxMessageBox("DownProgram실패", MB_OK);
        ShowError("설치및 업그레이드 실패");
        return false;
    }
    // Recorded in the one fixed place, and also where the description's Version is read (a key
    // within the registry scope, or it would not have been read), or the next comparison would
    // find the old number there and upgrade again and again.
    m_reg.WriteDword(HKEY_CURRENT_USER, kVersionKey, "Version", &found.nNewVersion);
    if (found.hVersionRoot &&
        !(found.hVersionRoot == HKEY_CURRENT_USER && ::lstrcmpiA(found.strVersionKey, kVersionKey) == 0))
        m_reg.WriteDword(found.hVersionRoot, found.strVersionKey, "Version", &found.nNewVersion);
    return true;
}

bool CInstallDlg::DownloadLoader(const InstallComparison& found)
{
    // The loader is the program the document type starts: when the description names its
    // digest, no other bytes may take its place.
    DownloadRules rules;
    rules.urls = m_urls;
    if (!found.strLoaderSha256.IsEmpty()) {
        if (!CSha256::ParseHex(found.strLoaderSha256, rules.expectedSha256)) {
            Trace("loader: the description's sha256 is not 64 hexadecimal digits");
            return false;
        }
        rules.bCheckSha256 = true;
    } else if (kRequireLoaderSha256) {
        Trace("loader: the description names no sha256, and this build requires one");
        return false;
    }

    // Whatever the description says, the loader must be a whole program and, where the build
    // pins the publisher, signed by one of its certificates.
    rules.bWholeProgram = true;
    const LoaderSigners signers = ReadBuiltInLoaderSigners(m_hPinModule ? m_hPinModule : AfxGetInstanceHandle());
    rules.bCheckSigner = signers.bPinned;
    rules.signers = signers.thumbprints;

    CDownloadDlg dlg(nullptr);
    dlg.m_job.SetRules(rules);
    dlg.m_strFilePath = PathInInstallDir(kLoaderFileName);
    dlg.m_strURL = found.strDownURL;
    dlg.m_strMessage = "Tessaron AutoInstall Program is performing ...";
    return dlg.DoModal() == IDOK;
}
