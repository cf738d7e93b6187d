#include "ui/Application.h"
#include "ui/DialogFont.h"

#include <QApplication>

#include <cstdio>

// The programs' entry point: the global Application object already exists (it is constructed before
// main), so all that is left is Qt and InitInstance.
int main(int argc, char** argv)
{
    QApplication qtApplication(argc, argv);
    // The program ends when InitInstance returns, not when a window happens to close.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!ApplyDialogFont())
        std::fprintf(
            stderr, "warning: the DejaVu Sans font is not installed; dialog texts may not fit their boxes\n");
    Application* application = Application::Instance();
    if (!application) {
        std::fprintf(stderr, "error: this program defines no Application object\n");
        return 1;
    }
    if (!application->InitInstance() || !application->mainWindow)
        return 0;
    QApplication::setQuitOnLastWindowClosed(true);
    return QApplication::exec();
}
