#pragma once

class Dialog;
class QImage;
class QString;

// Renders the dialog's window (the OK strip and the template area, without the window manager's
// frame) as it is now. The window must exist (Create or inside DoModal); otherwise the image is null.
QImage GrabDialog(const Dialog& dialog);

// GrabDialog written to a PNG file. False when there is no window or the file cannot be written.
bool SaveScreenshot(const Dialog& dialog, const QString& path);
