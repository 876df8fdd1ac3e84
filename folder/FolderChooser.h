// The folder chooser: the shell's folder browser with an edit box in which a path can be typed,
// an OK button that validates the typed folder and makes it after asking, and only folders on a
// drive letter offered. The result is the typed path, not a shell item.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include "folder/FolderChooserWnd.h"
#include "framework/CString.h"

class CFolderChooser {
public:
    // The texts are borrowed and must outlive DoModal. A null caption keeps the shell's own; a
    // null initial folder opens on the process's current directory.
    CFolderChooser(const char* pszCaption, const char* pszPrompt, const char* pszInitialFolder,
                   HWND hParent = nullptr);
    virtual ~CFolderChooser() = default;
    CFolderChooser(const CFolderChooser&) = delete;
    CFolderChooser& operator=(const CFolderChooser&) = delete;

    // 1 when the user accepted a folder, -1 otherwise (cancelled, closed, or no dialog).
    virtual int DoModal();
    // The accepted folder; meaningful after DoModal returned 1.
    CString GetPath() const { return CString(m_szPath); }

    static int CALLBACK BrowseCallbackProc(HWND hWnd, UINT uMsg, LPARAM lParam, LPARAM lpData);

    const char* m_pszCaption;
    const char* m_pszInitialFolder;
    char m_szPath[MAX_PATH] = {};
    BROWSEINFOA m_bi = {};
    HWND m_hwndBrowse = nullptr;
    // The framework's window objects own their windows, so the owner is kept by its handle.
    HWND m_hwndOwner = nullptr;
    int m_bAccepted = 0;
    CFolderChooserWnd m_wndBrowse;

private:
    void OnInitialized(HWND hWnd);
    void OnSelChanged(HWND hWnd, LPCITEMIDLIST pidl);
};
