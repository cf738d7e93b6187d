#include "skyprobe/SkyprobeApp.h"

#include "skyprobe/SkyprobeDialog.h"

SkyprobeApp theApp;

BOOL SkyprobeApp::InitInstance()
{
    SkyprobeDialog dialog;
    mainWindow = &dialog;
    dialog.DoModal();
    // The dialog is a local and goes with this call; nothing may keep pointing at it.
    mainWindow = nullptr;
    return FALSE;
}
