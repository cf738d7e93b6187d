#include "TestDialog.h"

#include "ui/DialogDriver.h"
#include "ui/WindowRegistry.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <future>
#include <thread>

using namespace testdialog;

TEST(CrossThread, SendRunsTheHandlerOnTheUiThreadWhileTheSenderWaits)
{
    TestDialog dialog;
    DialogDriver driver(dialog);
    const std::thread::id uiThread = std::this_thread::get_id();
    std::vector<std::thread::id> handlerThreads;
    std::string received;
    dialog.onUser = [&](WPARAM buffer, LPARAM count) {
        handlerThreads.push_back(std::this_thread::get_id());
        // The bytes belong to the sender and are only valid during the call.
        received.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(count));
        return static_cast<LRESULT>(count);
    };
    const HWND window = dialog.GetSafeHwnd();
    auto sender = std::async(std::launch::async, [window] {
        LRESULT total = 0;
        for (const char* chunk : { "$GPRMC,0818", "36.250,A*", "\r\n" }) {
            char buffer[60];
            const std::size_t length = std::strlen(chunk);
            std::memcpy(buffer, chunk, length);
            total += SendMessage(
                window, WM_USER + 1, reinterpret_cast<WPARAM>(buffer), static_cast<LPARAM>(length));
            std::memset(buffer, 'X', sizeof buffer); // reused at once, as the serial reader does
        }
        return total;
    });
    ASSERT_TRUE(driver.WaitUntil(
        [&] { return sender.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(sender.get(), 22);
    EXPECT_EQ(received, "$GPRMC,081836.250,A*\r\n");
    ASSERT_EQ(handlerThreads.size(), 3u);
    for (const std::thread::id& id : handlerThreads)
        EXPECT_EQ(id, uiThread);
}

TEST(CrossThread, ASenderWaitingWhenTheDialogGoesIsReleasedAndNothingRuns)
{
    auto dialog = std::make_unique<TestDialog>();
    dialog->Create();
    const HWND window = dialog->GetSafeHwnd();
    std::atomic<bool> sending = false;
    auto sender = std::async(std::launch::async, [&] {
        sending = true;
        return SendMessage(window, WM_USER + 1, 1, 1);
    });
    while (!sending)
        std::this_thread::yield();
    // The UI thread never returns to its loop before the dialog is gone, so the send (queued or
    // not yet made) can only be released by the dialog going.
    QThread::msleep(20);
    dialog.reset();
    ASSERT_EQ(sender.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "sender still blocked";
    EXPECT_EQ(sender.get(), 0);
    EXPECT_FALSE(WindowRegistry::IsWindow(window));
    // Whatever was queued for the old dialog is dropped when the loop runs again.
    QCoreApplication::processEvents();
    EXPECT_EQ(SendMessage(window, WM_USER + 1, 1, 1), 0);
}

TEST(CrossThread, AHandlerMayEndTheDialogWhileItsSenderWaits)
{
    // The GSM dialog runs its close steps from inside a serial chunk's handler.
    TestDialog dialog;
    LRESULT sent = -1;
    LRESULT late = -1;
    std::thread sender;
    const int result = DialogDriver::RunModal(dialog, [&](DialogDriver& driver) {
        dialog.onUser = [&](WPARAM, LPARAM) {
            dialog.EndDialog(IDCANCEL);
            return LRESULT { 7 };
        };
        const HWND window = dialog.GetSafeHwnd();
        sender = std::thread([&late, &sent, window] {
            sent = SendMessage(window, WM_USER + 1, 0, 0);
            late = SendMessage(window, WM_USER + 1, 0, 0); // after the end: runs nothing
        });
        driver.WaitUntil([&] { return dialog.IsEnded(); });
    });
    // The late send may still be waiting; destroying the window at the end of DoModal released it.
    sender.join();
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(sent, 7);
    EXPECT_EQ(late, 0);
    EXPECT_EQ(std::count(dialog.calls.begin(), dialog.calls.end(), "user"), 1);
}
