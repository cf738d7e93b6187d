#pragma once

#include "ui/MessageTypes.h"
#include "ui/Rect.h"
#include "ui/WideString.h"

class Dialog;
class QPainter;

constexpr UINT DT_TOP = 0x0000;
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_BOTTOM = 0x0008;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_NOCLIP = 0x0100;

constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// The paint context of a WM_PAINT handler: open one on the dialog, draw, let it go out of scope.
// Drawing lands on the dialog's template area in client coordinates and is clipped to the area that
// was invalidated; the rest of the window keeps what it showed. Outside a WM_PAINT of this dialog the
// context is not valid and draws nothing. Starts with black text on a white, opaque background in the
// dialog's font.
class PaintDC {
public:
    explicit PaintDC(Dialog* dialog);
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    ~PaintDC();

    bool IsValid() const { return painter != nullptr; }
    // Bounding box of the area this paint may change, in client coordinates.
    Rect GetClipBox() const;

    void FillSolidRect(const Rect& rect, COLORREF colour);
    // Both return the previous colour.
    COLORREF SetTextColor(COLORREF colour);
    COLORREF SetBkColor(COLORREF colour);
    // OPAQUE fills the text's cell with the background colour first; returns the previous mode.
    int SetBkMode(int mode);

    // Draws text in rect (DT_ flags; 0 is top-left) clipped to rect unless DT_NOCLIP. Returns the
    // height of the drawn text in pixels, 0 when nothing could be drawn.
    int DrawText(const WideString& text, const Rect& rect, UINT format);

private:
    QPainter* painter = nullptr;
    Rect clipBox;
    COLORREF textColour = RGB(0, 0, 0);
    COLORREF backgroundColour = RGB(255, 255, 255);
    int backgroundMode = OPAQUE;
};
