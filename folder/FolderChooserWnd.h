// The shell's folder browser as the chooser changes it: subclassed from its initialisation
// notice on, so that OK and the added edit box reach the chooser, while every other message goes
// on to the shell's own dialog procedure.
#pragma once

#include <windows.h>

#include "framework/Wnd.h"

class CFolderChooser;

// The edit box the chooser adds above the folder tree.
#define IDC_FOLDER_EDIT 14148

class CFolderChooserWnd : public CWnd {
public:
    CFolderChooserWnd() = default;
    // The shell owns the browse dialog: it is released, never destroyed, here.
    ~CFolderChooserWnd() override;

    // Attaches to the browse dialog; FALSE when the platform refuses the subclass.
    BOOL SubclassWindow(HWND hWnd);
    // Gives the dialog back to the shell's procedure alone; done by itself when the dialog goes.
    void UnsubclassWindow();

    CFolderChooser* m_pChooser = nullptr;

protected:
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    void OnOK();
    void OnEditChange();

    static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam, UINT_PTR uIdSubclass,
                                         DWORD_PTR dwRefData);
};
