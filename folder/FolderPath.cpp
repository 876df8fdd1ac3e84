#include "folder/FolderPath.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "framework/AppMessageBox.h"
#include "framework/CString.h"

namespace {

// A chosen folder must leave room for the file names put into it within the platform's path
// limit; the edit box is read with that limit too.
constexpr size_t kMaxPathBytes = MAX_PATH - 1;

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

bool IsAsciiLetter(char ch)
{
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}

bool IsBlankOrDot(char ch)
{
    return ch == '\t' || ch == ' ' || ch == '.';
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

bool IsValidFolderName(const char* pszName)
{
    if (!pszName || !*pszName) return false;
    const size_t nLength = std::strlen(pszName);
    if (IsBlankOrDot(pszName[0]) || IsBlankOrDot(pszName[nLength - 1])) return false;
    // Byte by byte: none of these is ever the second byte of a double-byte character in CP949.
    return std::strpbrk(pszName, "\"*/:<>?\\|") == nullptr;
}

int CheckPath(const char* pszPath, CheckPathMode nMode)
{
    if (!pszPath) return FOLDER_INVALID;
    std::string path(pszPath);
    if (path.size() < 3 || path.size() > kMaxPathBytes) return FOLDER_INVALID;
    if (!IsAsciiLetter(path[0]) || path[1] != ':' || path[2] != '\\') return FOLDER_INVALID;
    if (path.size() == 3) {
        if (nMode == CHECK_PATH_TEST) return FOLDER_OK;
        return PathExists(path.c_str()) ? FOLDER_OK : FOLDER_NOT_CREATABLE;
    }

    // Outermost first: each folder must stand before the one inside it can be made.
    size_t nStart = 3;
    for (;;) {
        size_t nEnd = path.find('\\', nStart);
        const bool bLast = nEnd == std::string::npos;
        if (bLast) nEnd = path.size();
        const std::string prefix = path.substr(0, nEnd);
        if (!IsValidFolderName(path.substr(nStart, nEnd - nStart).c_str())) return FOLDER_INVALID;
        if (nMode == CHECK_PATH_CREATE) {
            // An existing folder makes this fail, which is fine: only the folder's presence counts.
            ::CreateDirectoryA(prefix.c_str(), nullptr);
            if (!FolderExists(prefix.c_str())) return FOLDER_NOT_CREATABLE;
        }
        if (bLast) return FOLDER_OK;
        if (nEnd + 1 == path.size()) return FOLDER_INVALID;  // a trailing backslash
        nStart = nEnd + 1;
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
