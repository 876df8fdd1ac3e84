#include "folder/FolderChooser.h"

#include <commctrl.h>
#include <wrl/client.h>

#include <memory>
#include <string>

#include "framework/WinApp.h"

using Microsoft::WRL::ComPtr;

namespace {

// Control ids of the shell's browse dialog.
constexpr int kIdTree = 14145;
constexpr int kIdStatus = 14147;

struct PidlDeleter {
    void operator()(ITEMIDLIST* pidl) const noexcept { ::CoTaskMemFree(pidl); }
};
using UniquePidl = std::unique_ptr<ITEMIDLIST, PidlDeleter>;

BOOL CALLBACK FindTreeByClass(HWND hWnd, LPARAM lParam)
{
    char szClass[32] = {};
    ::GetClassNameA(hWnd, szClass, sizeof szClass);
    if (lstrcmpiA(szClass, WC_TREEVIEWA) != 0) return TRUE;
    *reinterpret_cast<HWND*>(lParam) = hWnd;
    return FALSE;
}

// By its id as the shell's template has it, or else by its class, so that a shell whose
// template numbers it differently still gets the edit box.
HWND FindTree(HWND hDlg)
{
    HWND hTree = ::GetDlgItem(hDlg, kIdTree);
    if (!hTree) ::EnumChildWindows(hDlg, FindTreeByClass, reinterpret_cast<LPARAM>(&hTree));
    return hTree;
}

std::string CurrentDirectory()
{
    const DWORD nNeeded = ::GetCurrentDirectoryA(0, nullptr);
    if (nNeeded == 0) return std::string();
    std::string dir(nNeeded, '\0');
    const DWORD nCopied = ::GetCurrentDirectoryA(nNeeded, &dir[0]);
    dir.resize(nCopied < nNeeded ? nCopied : 0);
    return dir;
}

}  // namespace

CFolderChooser::CFolderChooser(const char* pszCaption, const char* pszPrompt, const char* pszInitialFolder,
                               HWND hParent)
    : m_pszCaption(pszCaption), m_pszInitialFolder(pszInitialFolder)
{
    // With a parent, its top-level window owns the dialog. Without one there is no owner: the
    // module has no main window of its own inside the browser that hosts it.
    if (hParent) m_hwndOwner = ::GetAncestor(hParent, GA_ROOT);
    m_bi.hwndOwner = m_hwndOwner;
    m_bi.pidlRoot = nullptr;
    m_bi.lpszTitle = pszPrompt;
    // The status line makes room above the tree; the edit box takes that room.
    m_bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    m_bi.lpfn = BrowseCallbackProc;
    m_bi.lParam = reinterpret_cast<LPARAM>(this);
    m_bi.iImage = 0;
    m_wndBrowse.m_pChooser = this;
}

int CFolderChooser::DoModal()
{
    int nResult = -1;
    char szDisplayName[MAX_PATH] = {};
    m_bi.pszDisplayName = szDisplayName;
    m_bi.lpfn = BrowseCallbackProc;
    m_bi.lParam = reinterpret_cast<LPARAM>(this);

    // The items the browser hands out come from the shell's allocator.
    ComPtr<IMalloc> shellMalloc;
    if (FAILED(::SHGetMalloc(&shellMalloc)) || !shellMalloc) {
        m_bi.pszDisplayName = nullptr;
        return nResult;
    }

    m_bAccepted = 0;
    // The selected item is of no use: the choice is the text that OK accepted.
    UniquePidl pidl(::SHBrowseForFolderA(&m_bi));
    // The dialog is gone by now, and with it the subclass; this only makes sure of it.
    m_wndBrowse.UnsubclassWindow();
    m_hwndBrowse = nullptr;
    m_bi.pszDisplayName = nullptr;

    if (m_bAccepted) nResult = 1;
    return nResult;
}

int CALLBACK CFolderChooser::BrowseCallbackProc(HWND hWnd, UINT uMsg, LPARAM lParam, LPARAM lpData)
{
    auto* pChooser = reinterpret_cast<CFolderChooser*>(lpData);
    if (!pChooser) return 0;
    switch (uMsg) {
    case BFFM_INITIALIZED:
        pChooser->OnInitialized(hWnd);
        break;
    case BFFM_SELCHANGED:
        pChooser->OnSelChanged(hWnd, reinterpret_cast<LPCITEMIDLIST>(lParam));
        break;
    default:
        break;
    }
    return 0;
}

void CFolderChooser::OnInitialized(HWND hWnd)
{
    m_hwndBrowse = hWnd;
    if (m_pszCaption) ::SetWindowTextA(hWnd, m_pszCaption);
    m_wndBrowse.SubclassWindow(hWnd);

    if (HWND hStatus = ::GetDlgItem(hWnd, kIdStatus)) ::ShowWindow(hStatus, SW_HIDE);

    HWND hTree = FindTree(hWnd);
    RECT rcTree = {};
    if (hTree) ::GetWindowRect(hTree, &rcTree);
    RECT rcEdit = {rcTree.left, rcTree.top - 27, rcTree.right, rcTree.top - 4};
    ::MapWindowPoints(nullptr, hWnd, reinterpret_cast<POINT*>(&rcEdit), 2);

    // A child of the dialog: the dialog destroys it with itself.
    HWND hEdit = ::CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                                   rcEdit.left, rcEdit.top, rcEdit.right - rcEdit.left, rcEdit.bottom - rcEdit.top,
                                   hWnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_FOLDER_EDIT)),
                                   ::GetModuleHandleA(nullptr), nullptr);
    if (hEdit) {
        // Typing stops where a path would no longer fit the platform's limit.
        ::SendMessageA(hEdit, EM_LIMITTEXT, MAX_PATH - 1, 0);
        // Tab reaches the edit box just before the tree, as it stands above it.
        if (hTree) {
            HWND hBefore = ::GetWindow(hTree, GW_HWNDPREV);
            ::SetWindowPos(hEdit, hBefore ? hBefore : HWND_TOP, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        ::ShowWindow(hEdit, SW_SHOW);
        ::SendMessageA(hEdit, WM_SETFONT, static_cast<WPARAM>(::SendMessageA(hWnd, WM_GETFONT, 0, 0)), TRUE);
    }

    // The edit box is filled by the selection change this causes when the folder exists.
    const std::string folder = m_pszInitialFolder ? std::string(m_pszInitialFolder) : CurrentDirectory();
    // Wine's browser now and then loses its way to an existing folder and selects nothing; the
    // same request again finds it. Where the folder does not exist, nothing is selected anyway.
    const DWORD dwAttributes = ::GetFileAttributesA(folder.c_str());
    const bool bIsFolder = dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
    for (int nTry = 0; nTry < 3; ++nTry) {
        ::SendMessageA(hWnd, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
        if (!bIsFolder || !hEdit || ::GetWindowTextLengthA(hEdit) > 0) break;
    }
}

void CFolderChooser::OnSelChanged(HWND hWnd, LPCITEMIDLIST pidl)
{
    char szPath[MAX_PATH] = {};
    // Only folders on a drive letter: virtual folders and network places have no use here.
    const bool bCounts = pidl && ::SHGetPathFromIDListA(pidl, szPath) && szPath[1] == ':';
    if (!bCounts) szPath[0] = '\0';
    ::SendMessageA(hWnd, BFFM_ENABLEOK, 0, bCounts);
    ::SendMessageA(hWnd, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(szPath));
    // Raises the edit box's change notice, which enables OK again for any non-empty text.
    ::SetDlgItemTextA(hWnd, IDC_FOLDER_EDIT, szPath);
}
