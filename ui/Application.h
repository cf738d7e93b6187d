#pragma once

#include "ui/MessageTypes.h"

class Dialog;

// The program object. Each program defines exactly one global instance of its subclass; the layer's
// main() (target ui_main) creates the QApplication, sets the dialog font and calls InitInstance. When
// InitInstance returns FALSE the program ends (exit status 0); when it returns TRUE with a mainWindow
// set, the event loop runs until the last window closes.
class Application {
public:
    Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
    virtual ~Application();

    virtual BOOL InitInstance() { return FALSE; }

    // The dialog the program is showing, set by InitInstance before DoModal; not owned.
    Dialog* mainWindow = nullptr;

    // The program's one instance, or nullptr before it is constructed.
    static Application* Instance();
};
