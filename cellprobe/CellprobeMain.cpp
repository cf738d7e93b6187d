#include "cellprobe/CellprobeApp.h"

// The program's one application object; the dialog layer's main() runs its InitInstance.
CellprobeApp theApp;
