#include "ui/Dialog.h"
#include "ui/DialogFont.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

// A second process for the single-instance test: shows a dialog titled argv[1], hands the foreground
// to another window, says "ready", and exits 0 once something brings the dialog back to the front
// (or 1 after ten seconds).
int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <title>\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    ApplyDialogFont();
    const QString titleText = QString::fromLocal8Bit(argv[1]);
    const std::u16string title(
        reinterpret_cast<const char16_t*>(titleText.utf16()), static_cast<std::size_t>(titleText.size()));
    const DialogTemplate layout { 102, title.c_str(), 100, 40, NoDialogStyle, {} };
    Dialog dialog(layout);
    dialog.Create();
    QWidget other;
    other.show();
    other.activateWindow();

    QTimer poll;
    bool announced = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!announced && other.isActiveWindow()) {
            announced = true;
            std::printf("ready\n");
            std::fflush(stdout);
            return;
        }
        if (announced && dialog.IsActiveWindow()) {
            std::printf("foreground\n");
            std::fflush(stdout);
            QApplication::exit(0);
        }
    });
    poll.start(10);
    QTimer::singleShot(10000, [] { QApplication::exit(1); });
    return QApplication::exec();
}
