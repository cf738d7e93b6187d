#include "ui/WindowRegistry.h"

#include "ui/MessageWindow.h"
#include "ui/SendCancel.h"
#include "ui/ThreadDispatcher.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

// One synchronous send waiting for its window's thread. Shared between the sender, the job queued on
// the owner thread and the registry, so whichever of them finishes last frees it.
struct PendingSend {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    SendCancel* cancel;
    LRESULT result = 0;
    bool released = false; // guarded by the registry lock; set once, by the handler or by a cancel
};

namespace {

struct Entry {
    MessageWindow* window;
    ThreadDispatcher* dispatcher;
    std::thread::id owner;
    std::vector<std::shared_ptr<PendingSend>> pending;
};

struct Registry {
    std::mutex lock;
    std::condition_variable released;
    std::unordered_map<std::uint32_t, Entry> windows;
    std::uint32_t lastHandle = 0;
    // Sends whose token may cancel them, so Cancel can find the ones still waiting.
    std::vector<std::shared_ptr<PendingSend>> cancellable;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

// Caller holds the lock.
void Release(Registry& registry, const std::shared_ptr<PendingSend>& send, LRESULT result)
{
    if (send->released)
        return;
    send->result = result;
    send->released = true;
    registry.released.notify_all();
}

// Caller holds the lock.
void Forget(Registry& registry, const std::shared_ptr<PendingSend>& send)
{
    std::erase(registry.cancellable, send);
    auto found = registry.windows.find(static_cast<std::uint32_t>(send->window));
    if (found != registry.windows.end())
        std::erase(found->second.pending, send);
}

void RunPending(const std::shared_ptr<PendingSend>& send)
{
    Registry& registry = TheRegistry();
    MessageWindow* target = nullptr;
    {
        std::lock_guard guard(registry.lock);
        if (send->released)
            return;
        auto found = registry.windows.find(static_cast<std::uint32_t>(send->window));
        if (found == registry.windows.end()) {
            Release(registry, send, 0);
            return;
        }
        target = found->second.window;
    }
    const LRESULT result = target->WindowProc(send->message, send->wParam, send->lParam);
    std::lock_guard guard(registry.lock);
    Release(registry, send, result);
}

} // namespace

SendCancel::~SendCancel()
{
    // A token must outlive its sends; cancelling here keeps a mistake from leaving a dangling pointer.
    Cancel();
}

void SendCancel::Cancel()
{
    WindowRegistry::CancelAll(*this);
}

bool SendCancel::IsCancelled() const
{
    std::lock_guard guard(TheRegistry().lock);
    return cancelled;
}

HWND WindowRegistry::Register(MessageWindow* window, ThreadDispatcher* dispatcher)
{
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    const std::uint32_t handle = ++registry.lastHandle;
    registry.windows.emplace(handle, Entry { window, dispatcher, std::this_thread::get_id(), {} });
    return static_cast<HWND>(handle);
}

void WindowRegistry::Unregister(HWND window)
{
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    auto found = registry.windows.find(static_cast<std::uint32_t>(window));
    if (found == registry.windows.end())
        return;
    for (const std::shared_ptr<PendingSend>& send : found->second.pending) {
        Release(registry, send, 0);
        std::erase(registry.cancellable, send);
    }
    registry.windows.erase(found);
}

bool WindowRegistry::IsWindow(HWND window)
{
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return registry.windows.contains(static_cast<std::uint32_t>(window));
}

LRESULT WindowRegistry::SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return Send(window, message, wParam, lParam, nullptr);
}

LRESULT WindowRegistry::SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, SendCancel& cancel)
{
    return Send(window, message, wParam, lParam, &cancel);
}

LRESULT WindowRegistry::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, SendCancel* cancel)
{
    Registry& registry = TheRegistry();
    std::unique_lock guard(registry.lock);
    if (cancel && cancel->cancelled)
        return 0;
    auto found = registry.windows.find(static_cast<std::uint32_t>(window));
    if (found == registry.windows.end())
        return 0;
    Entry& entry = found->second;
    if (entry.owner == std::this_thread::get_id()) {
        MessageWindow* target = entry.window;
        guard.unlock();
        return target->WindowProc(message, wParam, lParam);
    }

    auto send = std::make_shared<PendingSend>(PendingSend { window, message, wParam, lParam, cancel });
    entry.pending.push_back(send);
    if (cancel)
        registry.cancellable.push_back(send);
    // Posted under the lock so that the window cannot be unregistered (and its dispatcher destroyed)
    // in between; Post only queues and never calls back into the registry.
    entry.dispatcher->Post([send] { RunPending(send); });
    registry.released.wait(guard, [&] { return send->released; });
    Forget(registry, send);
    return send->result;
}

void WindowRegistry::CancelAll(SendCancel& cancel)
{
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    cancel.cancelled = true;
    for (const std::shared_ptr<PendingSend>& send : registry.cancellable) {
        if (send->cancel == &cancel)
            Release(registry, send, 0);
    }
}
