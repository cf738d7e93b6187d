#pragma once

// Sets the application-wide font that fits the dialog-unit boxes (DejaVu Sans, 8 points) and returns
// whether the font system really has it. Without a real font Qt quietly draws boxes with made-up
// metrics and every layout shifts, so callers report false loudly. Call after QApplication exists.
bool ApplyDialogFont();

// Whether the font now in use is a real, installed one.
bool IsRealFontInUse();

class QFont;
// The font every dialog uses for its controls and paint contexts.
QFont DialogFont();
