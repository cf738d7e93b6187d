#include "TestDialog.h"

#include "ui/DialogDriver.h"
#include "ui/DialogFont.h"
#include "ui/DialogUnits.h"
#include "ui/Icon.h"
#include "ui/MessageBox.h"
#include "ui/WindowRegistry.h"

#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

using namespace testdialog;

namespace {

double ScreenDpi()
{
    return QGuiApplication::primaryScreen()->logicalDotsPerInch();
}

} // namespace

TEST(DialogFont, RealFontIsInstalled)
{
    EXPECT_TRUE(IsRealFontInUse()) << "DejaVu Sans is missing: every dialog measurement would be off";
}

TEST(DialogUnits, TwoPixelsPerUnitAt96DpiScaledWithDpi)
{
    struct Case {
        int units;
        double dpi;
        int pixels;
    };
    const Case cases[] = {
        { 308, 96, 616 },
        { 232, 96, 464 },
        { 58, 96, 116 },
        { 0, 96, 0 },
        { 7, 120, 18 },
        { 58, 144, 174 },
        { 11, 192, 44 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.units) + " units at " + std::to_string(c.dpi));
        EXPECT_EQ(DialogUnitsToPixels(c.units, c.dpi), c.pixels);
    }
    // Edges round separately, so two controls that touch in units touch in pixels.
    EXPECT_EQ(DialogRectToPixels(3, 0, 5, 1, 120).right, DialogRectToPixels(8, 0, 5, 1, 120).left);
}

TEST(Dialog, WindowAndControlsTakeTheirTemplateGeometry)
{
    TestDialog dialog;
    DialogDriver driver(dialog);
    const double dpi = ScreenDpi();
    const Rect client = dialog.GetClientRect();
    EXPECT_EQ(client.Width(), DialogUnitsToPixels(160, dpi));
    EXPECT_EQ(client.Height(), DialogUnitsToPixels(156, dpi));
    // A hidden 58-unit placeholder still has its place: 116 pixels wide at 96 DPI.
    const Rect placeholder = dialog.placeholder.GetWindowRect();
    EXPECT_EQ(placeholder, DialogRectToPixels(10, 70, 58, 9, dpi));
    if (dpi == 96) {
        EXPECT_EQ(placeholder.Width(), 116);
    }
    EXPECT_FALSE(dialog.placeholder.IsWindowVisible());
    // The OK strip sits above the template area and its button at the top right.
    QWidget* window = dialog.GetWindowWidget();
    QWidget* clientWidget = dialog.GetClientWidget();
    auto* ok = window->findChild<QPushButton*>(QStringLiteral("captionOk"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_LE(ok->geometry().bottom(), clientWidget->y());
    EXPECT_GT(ok->geometry().left(), window->width() / 2);
    EXPECT_EQ(window->height(), clientWidget->y() + client.Height());
}

TEST(Dialog, InitialStatesComeFromTheTemplateAndOnInitDialogShowsMembers)
{
    TestDialog dialog;
    dialog.name = WideString(u"preset");
    dialog.rate = 7;
    DialogDriver driver(dialog);
    EXPECT_EQ(driver.Text(IdName), WideString(u"preset"));
    EXPECT_EQ(driver.Text(IdRate), WideString(u"7"));
    // The template's "Initial" is replaced by the empty member at the first exchange.
    EXPECT_EQ(driver.Text(IdLabel), WideString());
    EXPECT_FALSE(driver.IsEnabled(IdOther));
    EXPECT_TRUE(driver.IsEnabled(IdButton));
    EXPECT_EQ(driver.RangeMaximum(IdBar), 100);
    EXPECT_NE(dialog.GetSafeHwnd(), NullWindow);
    EXPECT_TRUE(WindowRegistry::IsWindow(dialog.GetSafeHwnd()));
}

TEST(DataExchange, ShowsMembersAndSavesControlsBack)
{
    TestDialog dialog;
    DialogDriver driver(dialog);
    dialog.label = WideString(u"2098-09-13");
    dialog.checked = true;
    dialog.rate = 60;
    ASSERT_TRUE(dialog.UpdateData(FALSE));
    EXPECT_EQ(driver.Text(IdLabel), WideString(u"2098-09-13"));
    EXPECT_TRUE(driver.IsChecked(IdCheck));
    EXPECT_EQ(driver.Text(IdRate), WideString(u"60"));

    driver.TypeText(IdName, WideString(u"\u00e9t\u00e9 +49 \uff80"));
    driver.TypeText(IdRate, WideString(u" 12 "));
    driver.Click(IdCheck);
    ASSERT_TRUE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.name, WideString(u"\u00e9t\u00e9 +49 \uff80"));
    EXPECT_EQ(dialog.rate, 12);
    EXPECT_FALSE(dialog.checked);
    EXPECT_TRUE(driver.MessageBoxes().empty());
}

TEST(DataExchange, BadRateShowsTheMessageMovesFocusAndStopsThere)
{
    struct Case {
        const char16_t* typed;
        const char16_t* message;
    };
    const Case cases[] = {
        { u"abc", u"Please enter an integer." },
        { u"", u"Please enter an integer." },
        { u"5x", u"Please enter an integer." },
        { u"+-5", u"Please enter an integer." },
        { u"99999999999", u"Please enter an integer." },
        { u"0", u"Please enter an integer between 1 and 60." },
        { u"61", u"Please enter an integer between 1 and 60." },
        { u"-3", u"Please enter an integer between 1 and 60." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideString(c.typed).ToAscii());
        TestDialog dialog;
        DialogDriver driver(dialog);
        dialog.rate = 9;
        dialog.after = WideString(u"kept");
        dialog.UpdateData(FALSE);
        driver.TypeText(IdName, WideString(u"typed"));
        driver.TypeText(IdRate, WideString(c.typed));
        driver.TypeText(IdAfter, WideString(u"not saved"));

        EXPECT_FALSE(dialog.UpdateData(TRUE));
        ASSERT_EQ(driver.MessageBoxes().size(), 1u);
        EXPECT_EQ(driver.MessageBoxes()[0], WideString(c.message));
        EXPECT_EQ(dialog.GetFocusedControlId(), IdRate);
        // Fields before the failing one are saved, the ones after it are not, and the failing one
        // keeps its last valid value even when the text was a number that only the range refused;
        // once the message is read, the field shows that value again.
        EXPECT_EQ(dialog.name, WideString(u"typed"));
        EXPECT_EQ(dialog.after, WideString(u"kept"));
        EXPECT_EQ(dialog.rate, 9);
        EXPECT_EQ(driver.Text(IdRate), WideString(u"9"));
    }
}

TEST(DataExchange, AValidationMessageOnScreenHoldsBackLaterOnes)
{
    TestDialog dialog;
    DialogDriver driver(dialog);
    driver.TypeText(IdRate, WideString(u"0"));
    // A refresh timer that saves on every tick, as the GPS dialog does.
    int ticks = 0;
    int failedSaves = 0;
    dialog.onTimer = [&](UINT_PTR) {
        ++ticks;
        if (!dialog.UpdateData(TRUE))
            ++failedSaves;
    };
    int shown = 0;
    MessageBoxHook driverHook;
    // This box stays "on screen" until three more ticks have failed to save behind it.
    driverHook = SetMessageBoxHook([&](const WideString&, const WideString&) {
        ++shown;
        const int until = ticks + 3;
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (ticks >= until)
                loop.quit();
        });
        poll.start(5);
        loop.exec();
        return IDOK;
    });
    dialog.SetTimer(1, 20);
    ASSERT_TRUE(driver.WaitUntil([&] { return ticks >= 4; }));
    EXPECT_EQ(shown, 1);
    EXPECT_GE(failedSaves, 4);
    // Once dismissed (the field then holds the last valid value), a new refused value is told again.
    driver.TypeText(IdRate, WideString(u"0"));
    ASSERT_TRUE(driver.WaitUntil([&] { return shown == 2; }));
    dialog.KillTimer(1);
    SetMessageBoxHook(std::move(driverHook));
}

TEST(Dialog, EndingPathsGiveTheirResults)
{
    struct Case {
        const char* how;
        std::function<void(DialogDriver&, TestDialog&)> act;
        bool ended;
        int result;
    };
    const Case cases[] = {
        { "caption OK with valid fields", [](DialogDriver& d, TestDialog&) { d.PressOk(); }, true, IDOK },
        { "Return means OK", [](DialogDriver& d, TestDialog&) { d.PressReturn(); }, true, IDOK },
        { "caption OK with a bad rate stays open",
            [](DialogDriver& d, TestDialog&) {
                d.TypeText(IdRate, WideString(u"x"));
                d.PressOk();
            },
            false, 0 },
        { "Escape cancels", [](DialogDriver& d, TestDialog&) { d.PressEscape(); }, true, IDCANCEL },
        { "close button through a handler that passes it on",
            [](DialogDriver& d, TestDialog&) { d.CloseButton(); }, true, IDCANCEL },
        { "close button through a handler that keeps the dialog",
            [](DialogDriver& d, TestDialog& dialog) {
                dialog.closeGoesToDefault = false;
                d.CloseButton();
            },
            false, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        TestDialog dialog;
        DialogDriver driver(dialog);
        c.act(driver, dialog);
        EXPECT_EQ(driver.IsEnded(), c.ended);
        if (c.ended) {
            EXPECT_EQ(driver.Result(), c.result);
        }
    }
}

TEST(Dialog, DoModalRunsUntilEndDialogAndDestroysTheWindow)
{
    TestDialog dialog;
    HWND during = NullWindow;
    const int result = DialogDriver::RunModal(dialog, [&](DialogDriver& driver) {
        during = dialog.GetSafeHwnd();
        driver.TypeText(IdName, WideString(u"saved by OK"));
        driver.PressOk();
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.name, WideString(u"saved by OK"));
    EXPECT_NE(during, NullWindow);
    EXPECT_FALSE(WindowRegistry::IsWindow(during));
    EXPECT_EQ(dialog.GetWindowWidget(), nullptr);
    // A script that forgets to end the dialog cannot hang the test.
    TestDialog forgotten;
    EXPECT_EQ(DialogDriver::RunModal(forgotten, [](DialogDriver&) {}), -1);
}

TEST(MessageMap, FirstMatchingEntryHandlesAndTheRestGoToDefault)
{
    TestDialog dialog;
    DialogDriver driver(dialog);
    dialog.calls.clear();
    driver.Click(IdButton);
    driver.Click(IdOther); // disabled: no click arrives
    driver.Click(IdCheck);
    dialog.onUser = [](WPARAM wParam, LPARAM lParam) { return static_cast<LRESULT>(wParam * 10 + lParam); };
    EXPECT_EQ(SendMessage(dialog.GetSafeHwnd(), WM_USER + 1, 4, 2), 42);
    // No entry for WM_USER + 2: the default handling answers 0 and nothing runs.
    EXPECT_EQ(SendMessage(dialog.GetSafeHwnd(), WM_USER + 2, 4, 2), 0);
    EXPECT_EQ(dialog.calls, (std::vector<std::string> { "button", "check", "user" }));
    EXPECT_TRUE(driver.IsChecked(IdCheck));
}

TEST(MessageMap, NothingReachesHandlersAfterEndDialog)
{
    TestDialog dialog;
    DialogDriver driver(dialog);
    dialog.SetTimer(1, 10);
    dialog.EndDialog(IDCANCEL);
    dialog.calls.clear();
    driver.Click(IdButton);
    EXPECT_EQ(SendMessage(dialog.GetSafeHwnd(), WM_USER + 1, 1, 1), 0);
    EXPECT_FALSE(dialog.IsTimerRunning(1));
    driver.WaitUntil([] { return false; }, std::chrono::milliseconds(60));
    EXPECT_TRUE(dialog.calls.empty());
}

TEST(Timers, ReplacingATimerPutsItsNextTickAFullPeriodLater)
{
    TestDialog dialog;
    DialogDriver driver(dialog);
    std::vector<UINT_PTR> order;
    dialog.onTimer = [&](UINT_PTR id) {
        order.push_back(id);
        if (id == 2) {
            dialog.KillTimer(2);
            // Restarted at about 200 ms: its next tick is near 500 ms, after timer 3's at 400 ms.
            EXPECT_EQ(dialog.SetTimer(1, 300), 1u);
        }
        if (id == 3 || id == 1)
            dialog.KillTimer(id);
    };
    dialog.SetTimer(1, 300);
    dialog.SetTimer(2, 200);
    dialog.SetTimer(3, 400);
    ASSERT_TRUE(driver.WaitUntil([&] { return order.size() >= 3; }));
    driver.WaitUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(order, (std::vector<UINT_PTR> { 2, 3, 1 }));
}

TEST(Timers, DialogIdsAreKeptApartFromQtsAndKillStopsTicks)
{
    // Qt's own first ids are small and reused at once; two dialogs both using id 1 and 2 must each
    // get their own ticks with their own ids.
    TestDialog first;
    TestDialog second;
    DialogDriver firstDriver(first);
    DialogDriver secondDriver(second);
    std::vector<UINT_PTR> firstIds;
    std::vector<UINT_PTR> secondIds;
    first.onTimer = [&](UINT_PTR id) { firstIds.push_back(id); };
    second.onTimer = [&](UINT_PTR id) { secondIds.push_back(id); };
    EXPECT_EQ(first.SetTimer(2, 15), 2u);
    EXPECT_EQ(second.SetTimer(1, 15), 1u);
    EXPECT_EQ(second.SetTimer(1000, 15), 1000u);
    EXPECT_EQ(first.SetTimer(0, 15), 0u);
    ASSERT_TRUE(firstDriver.WaitUntil([&] { return firstIds.size() >= 2 && secondIds.size() >= 4; }));
    for (UINT_PTR id : firstIds)
        EXPECT_EQ(id, 2u);
    for (UINT_PTR id : secondIds)
        EXPECT_TRUE(id == 1 || id == 1000);
    EXPECT_EQ(second.GetTimerPeriod(1000), 15u);

    EXPECT_TRUE(first.KillTimer(2));
    EXPECT_FALSE(first.KillTimer(2));
    const std::size_t ticksAtKill = firstIds.size();
    second.KillTimer(1000);
    // Timer 1 of the second dialog keeps running and serves as the clock.
    const std::size_t clockAtKill = secondIds.size();
    ASSERT_TRUE(secondDriver.WaitUntil([&] { return secondIds.size() >= clockAtKill + 5; }));
    EXPECT_EQ(firstIds.size(), ticksAtKill);
    EXPECT_FALSE(first.IsTimerRunning(2));
    EXPECT_FALSE(secondDriver.FireTimer(1000));
}

TEST(Controls, TextEnableAndProgressBarMessages)
{
    TestDialog dialog;
    DialogDriver driver(dialog);
    dialog.button.SetWindowText(WideString(u"CloseGPS"));
    EXPECT_EQ(driver.Text(IdButton), WideString(u"CloseGPS"));
    EXPECT_EQ(dialog.button.EnableWindow(FALSE), FALSE);
    EXPECT_FALSE(driver.IsEnabled(IdButton));
    EXPECT_EQ(dialog.button.EnableWindow(TRUE), TRUE);
    EXPECT_TRUE(driver.IsEnabled(IdButton));
    ASSERT_NE(dialog.GetDlgItem(IdOther), nullptr);
    dialog.GetDlgItem(IdOther)->EnableWindow(TRUE);
    EXPECT_TRUE(driver.IsEnabled(IdOther));
    EXPECT_EQ(dialog.GetDlgItem(4242), nullptr);

    dialog.bar.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 5));
    EXPECT_EQ(driver.RangeMinimum(IdBar), 0);
    EXPECT_EQ(driver.RangeMaximum(IdBar), 5);
    struct Case {
        WPARAM position;
        int shown;
    };
    for (const Case& c : { Case { 4, 4 }, Case { 0, 0 }, Case { 5, 5 }, Case { 9, 5 } }) {
        SCOPED_TRACE(c.position);
        dialog.bar.SendMessage(PBM_SETPOS, c.position, 0);
        EXPECT_EQ(driver.Position(IdBar), c.shown);
    }
    EXPECT_EQ(dialog.bar.SendMessage(PBM_SETPOS, 2, 0), 5);
}

TEST(Controls, ObjectsOutliveTheirWindowHarmlessly)
{
    TestDialog dialog;
    {
        DialogDriver driver(dialog);
    }
    EXPECT_FALSE(dialog.button.IsWindow());
    dialog.button.SetWindowText(WideString(u"gone"));
    EXPECT_EQ(dialog.button.GetWindowText(), WideString());
    EXPECT_EQ(dialog.button.GetWindowRect(), Rect {});
    EXPECT_FALSE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.SetTimer(1, 100), 0u);
}

TEST(Dialog, IconsFromRegisteredResourcesAndWmSetIcon)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString path = directory.filePath(QStringLiteral("icon.png"));
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::darkGreen);
    ASSERT_TRUE(image.save(path));
    const QByteArray pathBytes = path.toUtf8();
    RegisterIconResource(128, pathBytes.constData());
    RegisterIconResource(129, "/nonexistent/icon.png");

    const HICON icon = LoadIcon(128);
    EXPECT_NE(icon, NullIcon);
    EXPECT_EQ(LoadIcon(129), NullIcon);
    EXPECT_EQ(LoadIcon(4711), NullIcon);

    TestDialog dialog;
    DialogDriver driver(dialog);
    EXPECT_TRUE(dialog.GetWindowWidget()->windowIcon().isNull());
    SendMessage(dialog.GetSafeHwnd(), WM_SETICON, ICON_BIG, static_cast<LPARAM>(icon));
    EXPECT_EQ(SendMessage(dialog.GetSafeHwnd(), WM_SETICON, ICON_SMALL, static_cast<LPARAM>(icon)),
        static_cast<LRESULT>(NullIcon));
    EXPECT_EQ(dialog.GetIcon(TRUE), icon);
    EXPECT_EQ(dialog.GetIcon(FALSE), icon);
    EXPECT_FALSE(dialog.GetWindowWidget()->windowIcon().isNull());
}

TEST(Dialog, CentresInTheWorkArea)
{
    TestDialog dialog;
    DialogDriver driver(dialog);
    dialog.GetWindowWidget()->move(0, 0);
    dialog.CenterWindow();
    const QRect area = dialog.GetWindowWidget()->screen()->availableGeometry();
    const QRect frame = dialog.GetWindowWidget()->frameGeometry();
    EXPECT_LE(std::abs(frame.center().x() - area.center().x()), 1);
    EXPECT_LE(std::abs(frame.center().y() - area.center().y()), 1);
}

TEST(Dialog, WindowFlagsFollowTheTemplateStyles)
{
    static constexpr DialogTemplate NoMenu { 102, u"No menu", 100, 40, NoSystemMenu | SetForeground,
        Controls };
    TestDialog plain;
    TestDialog noMenu(NoMenu);
    DialogDriver plainDriver(plain);
    DialogDriver noMenuDriver(noMenu);
    const Qt::WindowFlags plainFlags = plain.GetWindowWidget()->windowFlags();
    const Qt::WindowFlags noMenuFlags = noMenu.GetWindowWidget()->windowFlags();
    EXPECT_TRUE(plainFlags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(noMenuFlags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_FALSE(noMenuFlags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(noMenuFlags.testFlag(Qt::WindowSystemMenuHint));
    // No strip without the caption OK style: the template area is the whole window.
    EXPECT_EQ(noMenu.GetClientWidget()->y(), 0);
    EXPECT_TRUE(noMenuDriver.WaitUntil([&] { return noMenu.IsActiveWindow(); }));
}

TEST(Dialog, LosingTheForegroundReachesTheMapAndTheDialogCanTakeItBack)
{
    TestDialog dialog;
    DialogDriver driver(dialog);
    dialog.SetForegroundWindow();
    ASSERT_TRUE(driver.WaitUntil([&] { return dialog.IsActiveWindow(); }));
    dialog.onKillFocus = [&] { dialog.SetForegroundWindow(); };
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(driver.WaitUntil([&] {
        return std::find(dialog.calls.begin(), dialog.calls.end(), "killfocus") != dialog.calls.end();
    }));
    EXPECT_TRUE(driver.WaitUntil([&] { return dialog.IsActiveWindow(); }));
}
