#include "cellprobe/CellprobeApp.h"

#include "cellprobe/CellprobeDialog.h"
#include "ui/ForeignWindow.h"

BOOL CellprobeApp::InitInstance()
{
    ForeignWindow running = FindWindow(nullptr, CellprobeTitle);
    if (running.IsFound()) {
        running.SetForegroundWindow();
        return FALSE;
    }
    CellprobeDialog dialog;
    mainWindow = &dialog;
    dialog.DoModal();
    mainWindow = nullptr;
    return FALSE;
}
