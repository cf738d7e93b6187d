#include "TestDialog.h"

#include "ui/DialogDriver.h"
#include "ui/ForeignWindow.h"
#include "ui/QtText.h"

#include <QCoreApplication>
#include <QProcess>
#include <QUuid>
#include <QWidget>

#include <gtest/gtest.h>

using namespace testdialog;

namespace {

WideString UniqueTitle(const char* what)
{
    return FromQString(
        QStringLiteral("ui test %1 %2").arg(QLatin1String(what), QUuid::createUuid().toString()));
}

} // namespace

TEST(SingleInstance, AnotherProcessDialogIsFoundByTitleAndBroughtToTheFront)
{
    const WideString title = UniqueTitle("instance");
    EXPECT_FALSE(FindWindow(nullptr, title.c_str()).IsFound());

    QProcess helper;
    helper.start(QStringLiteral(UI_INSTANCE_HELPER), { ToQString(title) });
    ASSERT_TRUE(helper.waitForStarted(10000));
    ASSERT_TRUE(helper.waitForReadyRead(10000)) << helper.readAllStandardError().toStdString();
    ASSERT_EQ(helper.readLine().trimmed(), QByteArray("ready"));

    ForeignWindow other = FindWindow(nullptr, title.c_str());
    ASSERT_TRUE(other.IsFound());
    EXPECT_TRUE(other.SetForegroundWindow());
    ASSERT_TRUE(helper.waitForFinished(10000));
    EXPECT_EQ(helper.exitCode(), 0) << "the helper's dialog never came back to the front";
    EXPECT_TRUE(helper.readAll().contains("foreground"));

    // Gone with its process: nothing answers for the title any more.
    EXPECT_FALSE(FindWindow(nullptr, title.c_str()).IsFound());
    EXPECT_FALSE(other.SetForegroundWindow());
}

TEST(SingleInstance, ADialogOfThisProcessIsFoundUntilItIsDestroyed)
{
    const WideString title = UniqueTitle("local");
    const std::u16string titleText(title.View());
    const DialogTemplate layout { 102, titleText.c_str(), 160, 156, CaptionOkButton, Controls };
    TestDialog dialog(layout);
    {
        DialogDriver driver(dialog);
        QWidget other;
        other.show();
        other.activateWindow();
        ASSERT_TRUE(driver.WaitUntil([&] { return other.isActiveWindow(); }));
        ForeignWindow found = ForeignWindow::Find(title);
        ASSERT_TRUE(found.IsFound());
        EXPECT_TRUE(found.SetForegroundWindow());
        EXPECT_TRUE(driver.WaitUntil([&] { return dialog.IsActiveWindow(); }));
    }
    EXPECT_FALSE(ForeignWindow::Find(title).IsFound());
}
