#include "ui/Screenshot.h"

#include "ui/Dialog.h"

#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>

QImage GrabDialog(const Dialog& dialog)
{
    QWidget* window = dialog.GetWindowWidget();
    if (!window)
        return {};
    return window->grab().toImage();
}

bool SaveScreenshot(const Dialog& dialog, const QString& path)
{
    const QImage image = GrabDialog(dialog);
    return !image.isNull() && image.save(path, "PNG");
}
