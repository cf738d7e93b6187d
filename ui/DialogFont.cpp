#include "ui/DialogFont.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>

namespace {

constexpr const char* FontFamily = "DejaVu Sans";
constexpr int FontPoints = 8;

} // namespace

QFont DialogFont()
{
    QFont font(QString::fromLatin1(FontFamily), FontPoints);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

bool ApplyDialogFont()
{
    QApplication::setFont(DialogFont());
    return IsRealFontInUse();
}

bool IsRealFontInUse()
{
    const QFontInfo info(QApplication::font());
    return QFontDatabase::families().contains(info.family())
        && info.family().contains(QLatin1String("DejaVu"));
}
