#include "folder/FolderPath.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "framework/AppMessageBox.h"
#include "framework/CString.h"
#include "framework/ProtectedFolder.h"
#include "framework/Trace.h"

namespace {

// Only a folder counts: a file standing where a folder is wanted cannot take the loader, so a
// "successful" check on it would only move the failure to the download.
bool FolderExists(const char* pszPath)
{
    const DWORD dwAttributes = ::GetFileAttributesA(pszPath);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PathExists(const char* pszPath)
{
    return ::GetFileAttributesA(pszPath) != INVALID_FILE_ATTRIBUTES;
}

void Report(int nResult, const char* pszPath)
{
    CString text;
    if (nResult == FOLDER_INVALID)
        text.Format("The folder:\n\n%s\n\nis invalid. Please reenter.", pszPath);
    else
        text.Format("The folder:\n\n%s\n\ncan not be created. Please double check.", pszPath);
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

int CheckPath(const char* pszPath, CheckPathMode nMode)
{
    const int nForm = CheckPathForm(pszPath);
    if (nForm != FOLDER_OK || nMode == CHECK_PATH_TEST) return nForm;
    const std::string path(pszPath);
    if (path.size() == 3) return PathExists(path.c_str()) ? FOLDER_OK : FOLDER_NOT_CREATABLE;

    // Outermost first: each folder must stand before the one inside it can be made. An existing
    // folder makes CreateDirectoryA fail, which is fine: only the folder's presence counts.
    for (size_t nEnd = path.find('\\', 3);; nEnd = path.find('\\', nEnd + 1)) {
        const std::string prefix = path.substr(0, nEnd == std::string::npos ? path.size() : nEnd);
        CreateProtectedFolder(prefix.c_str());
        if (!FolderExists(prefix.c_str())) {
            Trace("folder: %s cannot be made (error %lu)", prefix.c_str(), ::GetLastError());
            return FOLDER_NOT_CREATABLE;
        }
        if (nEnd == std::string::npos) return FOLDER_OK;
    }
}

int ConfirmFolder(const char* pszPath)
{
    const char* pszShown = pszPath ? pszPath : "";
    int nResult = CheckPath(pszPath, CHECK_PATH_TEST);
    if (nResult == FOLDER_OK) {
        if (FolderExists(pszPath)) return FOLDER_OK;
        if (PathExists(pszPath)) {
            // A file holds the name: the folder can never be made there, so asking would be idle.
            nResult = FOLDER_NOT_CREATABLE;
        } else {
            CString question;
            question.Format("폴더 :\n\n%s\n\n가 없습니다. 폴더를 만드시겠습니까?", pszShown);
            if (AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION) != IDYES) return FOLDER_DECLINED;
            nResult = CheckPath(pszPath, CHECK_PATH_CREATE);
            if (nResult == FOLDER_OK) return FOLDER_OK;
        }
    }
    Report(nResult, pszShown);
    return nResult;
}
