// The install directory of a full installation when neither default root has room: the user's
// choice in the folder chooser.
#include "folder/FolderChooser.h"
#include "install/InstallDlg.h"

bool CInstallDlg::ChooseInstallDir()
{
    CFolderChooser chooser("설치디렉토리 선택", "디레토리를 선택하십시요", "C:\\qxLoader", nullptr);
    if (chooser.DoModal() != 1) return false;
    // A typed folder that did not exist has been created by the chooser, after asking.
    m_strPath = chooser.GetPath();
    return true;
}
