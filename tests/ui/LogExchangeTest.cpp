#include "TestDialog.h"

#include "ui/DialogDriver.h"
#include "ui/LogView.h"

#include <QPlainTextEdit>
#include <QScrollBar>

#include <gtest/gtest.h>

using namespace testdialog;

namespace {

// What the log control must show for a log text: the text without its carriage returns.
WideString Shown(const WideString& log)
{
    WideString shown;
    for (int i = 0; i < log.GetLength(); ++i) {
        if (log.GetAt(i) != u'\r')
            shown += log.GetAt(i);
    }
    return shown;
}

} // namespace

TEST(LogExchange, ControlAlwaysShowsTheLogThroughAppendsAndClears)
{
    TestDialog dialog;
    DialogDriver driver(dialog);
    struct Step {
        const char* what;
        std::function<void()> change;
    };
    const Step steps[] = {
        { "first line", [&] { dialog.log += u"Open GPS OK!\r\n"; } },
        { "a chunk split inside CR LF", [&] { dialog.log += u"$GPGGA,1*\r"; } },
        { "the rest of it", [&] { dialog.log += u"\n$GPRMC"; } },
        { "high bytes widened", [&] { dialog.log += WideString(u"\uff80\uffff"); } },
        { "nothing new", [] {} },
        { "cleared",
            [&] {
                dialog.log.Empty();
                dialog.logBinding.Reset();
            } },
        { "fresh log after the clear", [&] { dialog.log += u"Close GPS OK!\r\n"; } },
        { "emptied and regrown without a reset",
            [&] {
                dialog.log.Empty();
                dialog.log += u"x";
            } },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        ASSERT_TRUE(dialog.UpdateData(FALSE));
        EXPECT_EQ(driver.Text(IdLog), Shown(dialog.log));
    }
    // Saving never writes the control back into the log text.
    const WideString before = dialog.log;
    driver.TypeText(IdLog, WideString(u"typed over"));
    ASSERT_TRUE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.log, before);
}

TEST(LogExchange, KeepsTheNewestLinesInTextAndControlAlike)
{
    TestDialog dialog;
    DialogDriver driver(dialog);
    dialog.logBinding.SetLineLimit(10); // trimmed back to 10 once it holds 12
    const auto line = [](int number) {
        WideString text;
        text.Format(u"line %d\r\n", number);
        return text;
    };
    for (int number = 1; number <= 40; ++number) {
        dialog.log += line(number);
        ASSERT_TRUE(dialog.UpdateData(FALSE));
        ASSERT_EQ(driver.Text(IdLog), Shown(dialog.log)) << "line " << number;
    }
    WideString newest;
    for (int number = 31; number <= 40; ++number)
        newest += line(number);
    EXPECT_EQ(dialog.log, newest);
    // Appending after a trim goes on from where the text now ends.
    dialog.log += u"partial";
    ASSERT_TRUE(dialog.UpdateData(FALSE));
    EXPECT_EQ(driver.Text(IdLog), Shown(dialog.log));
}

TEST(LogExchange, FollowsTheEndUnlessTheUserScrolledBack)
{
    TestDialog dialog;
    DialogDriver driver(dialog);
    auto* edit = qobject_cast<QPlainTextEdit*>(dialog.GetControlWidget(IdLog));
    ASSERT_NE(edit, nullptr);
    QScrollBar* scroll = edit->verticalScrollBar();
    // A busy log shows its new lines together once it has been held back for a moment.
    LogView* view = LogView::Of(edit);
    for (int i = 0; i < 50; ++i) {
        dialog.log += u"$GPGSV,3,1,12*\r\n";
        dialog.UpdateData(FALSE);
    }
    view->EndHold();
    ASSERT_GT(scroll->maximum(), 0);
    EXPECT_EQ(scroll->value(), scroll->maximum());

    scroll->setValue(0);
    dialog.log += u"more\r\n";
    dialog.UpdateData(FALSE);
    view->EndHold();
    EXPECT_EQ(scroll->value(), 0);
    EXPECT_EQ(driver.Text(IdLog), Shown(dialog.log));
}
