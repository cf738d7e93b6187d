#pragma once

#include "ui/Application.h"

// The GSM test program: one copy at a time, showing its dialog until the user ends it.
class CellprobeApp : public Application {
public:
    // Brings a running copy (found by its dialog's title) to the front instead of starting a second
    // one, which could not have the module's port anyway; otherwise runs the dialog modally. FALSE in
    // every case, so the program ends afterwards.
    BOOL InitInstance() override;
};
