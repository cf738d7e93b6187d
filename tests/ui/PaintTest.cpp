#include "TestDialog.h"

#include "ui/DialogDriver.h"
#include "ui/PaintDC.h"
#include "ui/Screenshot.h"

#include <QImage>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

using namespace testdialog;

namespace {

QColor PixelInClient(const QImage& image, const Dialog& dialog, int x, int y)
{
    const int top = dialog.GetClientWidget()->y();
    return image.pixelColor(x, top + y);
}

// The rendered image may come from a backing store with fewer bits per channel than 8.
bool IsBlue(const QColor& c)
{
    return c.red() < 16 && c.green() < 16 && c.blue() > 240;
}

int CountPixels(const QImage& image, const QRect& area, const std::function<bool(const QColor&)>& match)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            count += match(image.pixelColor(x, y)) ? 1 : 0;
    }
    return count;
}

} // namespace

TEST(Paint, BarsWithClippedTextLandOnTheRenderedImage)
{
    TestDialog dialog;
    DialogDriver driver(dialog);
    const QImage before = driver.Grab();
    COLORREF previousBackground = 0;
    COLORREF restoredText = 0;
    // Like a satellite bar: a blue bar over the placeholder, a white label clipped to the bar.
    dialog.onPaint = [&] {
        PaintDC dc(&dialog);
        Rect bar = dialog.placeholder.GetWindowRect();
        bar.right = bar.left + 45;
        dc.FillSolidRect(bar, RGB(0, 0, 255));
        previousBackground = dc.SetBkColor(RGB(0, 0, 255));
        dc.SetTextColor(RGB(255, 255, 255));
        dc.DrawText(WideString(u" 45 and far too long for the bar"), bar, DT_LEFT | DT_TOP);
        restoredText = dc.SetTextColor(RGB(0, 0, 0));
        dc.SetBkColor(previousBackground);
    };
    const QImage image = driver.Grab();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(previousBackground, RGB(255, 255, 255));
    EXPECT_EQ(restoredText, RGB(255, 255, 255));

    const Rect placeholder = dialog.placeholder.GetWindowRect();
    const int top = dialog.GetClientWidget()->y();
    const QRect barArea(placeholder.left, top + placeholder.top, 45, placeholder.Height());
    // Text pixels are white inside the bar and nothing white spills past its right edge.
    EXPECT_GT(
        CountPixels(image, barArea, [](const QColor& c) { return c.red() > 200 && c.blue() > 200; }), 5);
    EXPECT_GT(CountPixels(image, barArea, IsBlue), 45);
    const QRect beyond(
        placeholder.left + 46, top + placeholder.top, placeholder.Width() - 46, placeholder.Height());
    int changed = 0;
    for (int y = beyond.top(); y <= beyond.bottom(); ++y) {
        for (int x = beyond.left(); x <= beyond.right(); ++x)
            changed += image.pixelColor(x, y) != before.pixelColor(x, y) ? 1 : 0;
    }
    EXPECT_EQ(changed, 0);
    // The bar's last column is blue, the next one is background.
    EXPECT_TRUE(IsBlue(PixelInClient(image, dialog, placeholder.left + 44, placeholder.bottom - 1)));
    EXPECT_FALSE(IsBlue(PixelInClient(image, dialog, placeholder.left + 45, placeholder.bottom - 1)));
}

TEST(Paint, ARepaintIsClippedToTheInvalidatedArea)
{
    TestDialog dialog;
    DialogDriver driver(dialog);
    std::vector<Rect> clipBoxes;
    dialog.onPaint = [&] {
        PaintDC dc(&dialog);
        clipBoxes.push_back(dc.GetClipBox());
    };
    driver.WaitUntil([&] { return !clipBoxes.empty(); });
    clipBoxes.clear();
    const Rect area { 20, 30, 60, 40 };
    dialog.InvalidateRect(&area, TRUE);
    ASSERT_TRUE(driver.WaitUntil([&] { return !clipBoxes.empty(); }));
    EXPECT_EQ(clipBoxes.back(), area);
    // A paint context outside WM_PAINT draws nothing and says so.
    PaintDC outside(&dialog);
    EXPECT_FALSE(outside.IsValid());
    EXPECT_EQ(outside.DrawText(WideString(u"x"), area, 0), 0);
}

TEST(Screenshot, WritesAPngOfTheWholeDialog)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString path = directory.filePath(QStringLiteral("dialog.png"));
    TestDialog dialog;
    EXPECT_FALSE(SaveScreenshot(dialog, path)) << "no window yet";
    DialogDriver driver(dialog);
    ASSERT_TRUE(SaveScreenshot(dialog, path));
    const QImage image(path);
    EXPECT_EQ(image.size(), dialog.GetWindowWidget()->size() * dialog.GetWindowWidget()->devicePixelRatio());
}
