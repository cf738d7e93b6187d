#pragma once

#include <memory>

struct PendingSend;

// Lets one thread release another that is blocked in a synchronous send. Once Cancel has run, every
// send made with this token (waiting, queued or still to come) returns 0 without running a handler.
// The serial link gives each reader thread one, so that closing a port never waits for a delivery
// to the very thread that is closing it.
class SendCancel {
public:
    SendCancel() = default;
    SendCancel(const SendCancel&) = delete;
    SendCancel& operator=(const SendCancel&) = delete;
    ~SendCancel();

    void Cancel();
    bool IsCancelled() const;

private:
    friend class WindowRegistry;
    bool cancelled = false; // guarded by the registry's lock
};
