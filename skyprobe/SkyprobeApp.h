#pragma once

#include "ui/Application.h"

// The GPS test program: runs its one dialog modally and ends when the dialog ends. It keeps no state
// of its own; there is one instance for the life of the process.
class SkyprobeApp : public Application {
public:
    // Runs the dialog and returns FALSE, so the program ends as soon as the dialog has ended.
    BOOL InitInstance() override;
};
