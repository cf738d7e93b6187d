#include "ui/WindowRegistry.h"

#include "support/WorkerThread.h"
#include "ui/MessageWindow.h"
#include "ui/SendCancel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace {

class RecordingWindow final : public MessageWindow {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        threads.push_back(std::this_thread::get_id());
        messages.push_back(message);
        if (onMessage)
            onMessage();
        return static_cast<LRESULT>(wParam) + lParam;
    }
    std::vector<std::thread::id> threads;
    std::vector<UINT> messages;
    std::function<void()> onMessage;
};

} // namespace

TEST(WindowRegistry, CrossThreadSendRunsOnOwnerThreadAndReturnsItsResult)
{
    WorkerThread owner;
    RecordingWindow window;
    HWND handle {};
    owner.Run([&] { handle = WindowRegistry::Register(&window, &owner); });

    EXPECT_EQ(SendMessage(handle, WM_USER + 1, 40, 2), 42);
    EXPECT_EQ(SendMessage(handle, WM_USER + 2, 1, 1), 2);

    owner.Run([&] { WindowRegistry::Unregister(handle); });
    ASSERT_EQ(window.threads.size(), 2u);
    EXPECT_EQ(window.threads[0], owner.Id());
    EXPECT_EQ(window.messages, (std::vector<UINT> { WM_USER + 1, WM_USER + 2 }));
}

TEST(WindowRegistry, SendOnOwnerThreadIsADirectCall)
{
    WorkerThread owner;
    RecordingWindow window;
    LRESULT result = 0;
    owner.Run([&] {
        const HWND handle = WindowRegistry::Register(&window, &owner);
        result = SendMessage(handle, WM_TIMER, 5, 0);
        WindowRegistry::Unregister(handle);
    });
    EXPECT_EQ(result, 5);
    EXPECT_EQ(window.messages.size(), 1u);
}

TEST(WindowRegistry, SendToAGoneWindowRunsNothing)
{
    WorkerThread owner;
    RecordingWindow window;
    HWND handle {};
    owner.Run([&] {
        handle = WindowRegistry::Register(&window, &owner);
        WindowRegistry::Unregister(handle);
    });
    EXPECT_FALSE(WindowRegistry::IsWindow(handle));
    EXPECT_EQ(SendMessage(handle, WM_USER + 1, 1, 1), 0);
    EXPECT_EQ(SendMessage(NullWindow, WM_USER + 1, 1, 1), 0);
    EXPECT_TRUE(window.messages.empty());
}

TEST(WindowRegistry, HandlesAreNeverReused)
{
    WorkerThread owner;
    RecordingWindow first;
    RecordingWindow second;
    HWND firstHandle {};
    HWND secondHandle {};
    owner.Run([&] {
        firstHandle = WindowRegistry::Register(&first, &owner);
        WindowRegistry::Unregister(firstHandle);
        secondHandle = WindowRegistry::Register(&second, &owner);
    });
    EXPECT_NE(firstHandle, secondHandle);
    EXPECT_EQ(SendMessage(firstHandle, WM_USER, 1, 0), 0);
    EXPECT_TRUE(second.messages.empty());
    owner.Run([&] { WindowRegistry::Unregister(secondHandle); });
}

TEST(WindowRegistry, UnregisterReleasesASenderStillQueued)
{
    WorkerThread owner;
    RecordingWindow window;
    HWND handle {};
    owner.Run([&] { handle = WindowRegistry::Register(&window, &owner); });

    // Hold the owner thread busy so that the send stays queued, then unregister ahead of it.
    std::promise<void> ownerBusy;
    std::promise<void> letOwnerGo;
    owner.Post([&] {
        ownerBusy.set_value();
        letOwnerGo.get_future().wait();
        WindowRegistry::Unregister(handle);
    });
    ownerBusy.get_future().wait();
    auto sender = std::async(std::launch::async, [&] { return SendMessage(handle, WM_USER + 1, 7, 0); });
    EXPECT_EQ(sender.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    letOwnerGo.set_value();
    EXPECT_EQ(sender.get(), 0);
    owner.Run([] {});
    EXPECT_TRUE(window.messages.empty());
}

TEST(WindowRegistry, CancelReleasesAWaitingSenderAndRefusesLaterSends)
{
    WorkerThread owner;
    RecordingWindow window;
    HWND handle {};
    owner.Run([&] { handle = WindowRegistry::Register(&window, &owner); });

    SendCancel cancel;
    std::promise<void> ownerBusy;
    std::promise<void> letOwnerGo;
    owner.Post([&] {
        ownerBusy.set_value();
        letOwnerGo.get_future().wait();
    });
    ownerBusy.get_future().wait();
    auto sender = std::async(std::launch::async, [&] {
        return WindowRegistry::SendMessage(handle, WM_USER + 1, 7, 0, cancel);
    });
    EXPECT_EQ(sender.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    cancel.Cancel();
    EXPECT_EQ(sender.get(), 0);
    EXPECT_TRUE(cancel.IsCancelled());
    EXPECT_EQ(WindowRegistry::SendMessage(handle, WM_USER + 1, 7, 0, cancel), 0);
    letOwnerGo.set_value();
    owner.Run([&] { WindowRegistry::Unregister(handle); });
    EXPECT_TRUE(window.messages.empty()) << "a cancelled send must not run later";
}

TEST(WindowRegistry, CancelFromInsideTheHandlerLetsTheOwnerJoinTheSender)
{
    // The shape of closing a port from inside the handler of one of its chunks: the owner cancels the
    // sender's token while running the sender's message, then waits for the sender thread to end.
    WorkerThread owner;
    RecordingWindow window;
    HWND handle {};
    owner.Run([&] { handle = WindowRegistry::Register(&window, &owner); });

    SendCancel cancel;
    std::atomic<bool> senderEnded = false;
    std::promise<void> handlerDone;
    std::thread sender;
    window.onMessage = [&] {
        cancel.Cancel();
        sender.join();
        handlerDone.set_value();
    };
    std::promise<void> senderAssigned;
    sender = std::thread([&, assigned = senderAssigned.get_future()] {
        assigned.wait(); // the handler joins `sender`, so it must hold this thread before the send
        WindowRegistry::SendMessage(handle, WM_USER + 1, 0, 0, cancel);
        senderEnded = true;
    });
    senderAssigned.set_value();
    // The send reaches the owner only once the sender thread has queued it; wait for the handler
    // itself rather than for whatever the owner happens to be running first.
    ASSERT_EQ(handlerDone.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(senderEnded);
    owner.Run([&] { WindowRegistry::Unregister(handle); });
}

TEST(WindowRegistry, ManySendersAreServedOneAtATimeOnTheOwner)
{
    WorkerThread owner;
    RecordingWindow window;
    std::atomic<int> inside = 0;
    std::atomic<int> most = 0;
    window.onMessage = [&] {
        most = std::max(most.load(), ++inside);
        std::this_thread::yield();
        --inside;
    };
    HWND handle {};
    owner.Run([&] { handle = WindowRegistry::Register(&window, &owner); });
    std::vector<std::thread> senders;
    std::atomic<LRESULT> sum = 0;
    for (int t = 0; t < 4; ++t)
        senders.emplace_back([&] {
            for (int i = 0; i < 200; ++i)
                sum += SendMessage(handle, WM_USER, 1, 0);
        });
    for (std::thread& t : senders)
        t.join();
    owner.Run([&] { WindowRegistry::Unregister(handle); });
    EXPECT_EQ(sum.load(), 800);
    EXPECT_EQ(window.messages.size(), 800u);
    EXPECT_EQ(most.load(), 1);
}
