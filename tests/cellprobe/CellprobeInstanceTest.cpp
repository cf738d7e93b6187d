#include "ModemPty.h"

#include "cellprobe/CellprobeDialog.h"
#include "ui/DialogDriver.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>

namespace {

using namespace std::chrono_literals;

// The program on the offscreen platform with its port at path.
void StartProgram(QProcess& program, const std::string& portPath)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("COM1"), QString::fromStdString(portPath));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(CELLPROBE_PROGRAM), {});
}

// Waits with events running (no dialog of our own to drive here).
bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout.count());
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(5);
    }
    return true;
}

} // namespace

TEST(CellprobeInstance, ASecondStartBringsTheRunningDialogForwardAndEnds)
{
    ModemPty firstPort;
    ModemPty secondPort;
    ASSERT_TRUE(firstPort.IsOpen() && secondPort.IsOpen());
    ::setenv("COM1", firstPort.Path().c_str(), 1);
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    // A window of the dialog's own may take the focus without the dialog taking it back at once.
    QWidget owned(dialog.GetWindowWidget(), Qt::Window);
    owned.show();
    owned.activateWindow();
    ASSERT_TRUE(driver.WaitUntil([&] { return owned.isActiveWindow(); }));

    QProcess second;
    StartProgram(second, secondPort.Path());
    ASSERT_TRUE(driver.WaitUntil([&] { return second.state() == QProcess::NotRunning; }, 30s))
        << "the second start showed a dialog of its own";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(driver.WaitUntil([&] { return dialog.IsActiveWindow(); }));
    secondPort.Poll();
    EXPECT_EQ(secondPort.Take(), "");
}

TEST(CellprobeInstance, TheProgramStartsOnceAndASecondCopyLeavesTheFirstRunning)
{
    ModemPty firstPort;
    ModemPty secondPort;
    ASSERT_TRUE(firstPort.IsOpen() && secondPort.IsOpen());
    QProcess first;
    StartProgram(first, firstPort.Path());
    ASSERT_TRUE(WaitFor(
        [&] {
            firstPort.Poll();
            return firstPort.Pending() >= 5;
        },
        30s));
    EXPECT_EQ(firstPort.Take(), "ATE0\r");

    QProcess second;
    StartProgram(second, secondPort.Path());
    ASSERT_TRUE(second.waitForFinished(30000)) << "the second copy did not end";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    secondPort.Poll();
    EXPECT_EQ(secondPort.Take(), "");
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill();
    EXPECT_TRUE(first.waitForFinished(10000));
}
