#include "ui/Screenshot.h"

#include "ui/Dialog.h"
#include "ui/LogView.h"

#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>

QImage GrabDialog(const Dialog& dialog)
{
    QWidget* window = dialog.GetWindowWidget();
    if (!window)
        return {};
    // A picture shows the logs as they are, not as a held-back repaint last left them.
    for (LogView* log : window->findChildren<LogView*>())
        log->EndHold();
    return window->grab().toImage();
}

bool SaveScreenshot(const Dialog& dialog, const QString& path)
{
    const QImage image = GrabDialog(dialog);
    return !image.isNull() && image.save(path, "PNG");
}
