#pragma once

#include "ui/MessageTypes.h"

class MessageWindow;
class ThreadDispatcher;
class SendCancel;

// The process-wide table of windows and the synchronous cross-thread send.
//
// A window is registered on its owner thread together with the dispatcher that runs jobs there.
// SendMessage from the owner thread calls the window directly; from any other thread it queues the
// call to the owner thread and blocks until the handler has returned. A send to a handle that is not
// (or no longer) registered runs nothing and returns 0; unregistering a window releases every sender
// still waiting for it, also with 0. No lock is held while a handler runs.
class WindowRegistry {
public:
    static HWND Register(MessageWindow* window, ThreadDispatcher* dispatcher);
    static void Unregister(HWND window);
    static bool IsWindow(HWND window);

    static LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // As SendMessage, but gives up (returning 0) as soon as cancel is cancelled, also while waiting.
    static LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, SendCancel& cancel);

private:
    friend class SendCancel;
    static LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, SendCancel* cancel);
    static void CancelAll(SendCancel& cancel);
};

// The classic free function, for code that reads like the programs' own description.
inline LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return WindowRegistry::SendMessage(window, message, wParam, lParam);
}
