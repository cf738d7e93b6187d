#include "ui/PaintDC.h"

#include "ui/Dialog.h"
#include "ui/DialogFont.h"
#include "ui/DialogState.h"
#include "ui/QtText.h"

#include <QPainter>

namespace {

QColor ToQColor(COLORREF colour)
{
    return QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour));
}

QRect ToQRect(const Rect& rect)
{
    return QRect(rect.left, rect.top, rect.Width(), rect.Height());
}

int ToQtTextFlags(UINT format)
{
    int flags = 0;
    flags |= (format & DT_CENTER) ? Qt::AlignHCenter : (format & DT_RIGHT) ? Qt::AlignRight : Qt::AlignLeft;
    flags |= (format & DT_VCENTER) ? Qt::AlignVCenter : (format & DT_BOTTOM) ? Qt::AlignBottom : Qt::AlignTop;
    if (format & DT_SINGLELINE)
        flags |= Qt::TextSingleLine;
    else if (format & DT_WORDBREAK)
        flags |= Qt::TextWordWrap;
    return flags;
}

} // namespace

PaintDC::PaintDC(Dialog* dialog)
{
    if (!dialog || !dialog->frameworkState->painter)
        return;
    painter = dialog->frameworkState->painter;
    clipBox = dialog->frameworkState->paintClip;
    // Each context starts from the same state and leaves none behind for the next one.
    painter->save();
    painter->setFont(DialogFont());
}

PaintDC::~PaintDC()
{
    if (painter)
        painter->restore();
}

Rect PaintDC::GetClipBox() const
{
    return clipBox;
}

void PaintDC::FillSolidRect(const Rect& rect, COLORREF colour)
{
    if (!painter || rect.IsEmpty())
        return;
    painter->fillRect(ToQRect(rect), ToQColor(colour));
}

COLORREF PaintDC::SetTextColor(COLORREF colour)
{
    const COLORREF previous = textColour;
    textColour = colour;
    return previous;
}

COLORREF PaintDC::SetBkColor(COLORREF colour)
{
    const COLORREF previous = backgroundColour;
    backgroundColour = colour;
    return previous;
}

int PaintDC::SetBkMode(int mode)
{
    const int previous = backgroundMode;
    backgroundMode = mode == TRANSPARENT ? TRANSPARENT : OPAQUE;
    return previous;
}

int PaintDC::DrawText(const WideString& text, const Rect& rect, UINT format)
{
    if (!painter || text.IsEmpty())
        return 0;
    const QRect box = ToQRect(rect);
    const int flags = ToQtTextFlags(format);
    const QString value = ToQString(text);
    painter->save();
    if (!(format & DT_NOCLIP))
        painter->setClipRect(box, Qt::IntersectClip);
    const QRect used = painter->boundingRect(box, flags, value);
    if (backgroundMode == OPAQUE)
        painter->fillRect(used, ToQColor(backgroundColour));
    painter->setPen(ToQColor(textColour));
    painter->drawText(box, flags, value);
    painter->restore();
    return used.height();
}
