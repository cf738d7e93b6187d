#pragma once

#include "serial/UniqueFd.h"

// A manual-reset event made of an eventfd: once signalled it stays readable until it is released,
// so every poll that includes it returns at once. That is what the serial reader needs from its stop
// event: a stop can never be missed, whichever wait the reader happens to be in.
class EventFd {
public:
    // False (with errno kept by the caller) when the kernel refuses a new eventfd.
    [[nodiscard]] bool Create();
    // Sets the event; safe from any thread while the event exists.
    void Signal();
    // Whether the event has been set; does not block and does not clear it.
    bool IsSignalled() const;
    void Release() { fd.Reset(); }
    bool IsValid() const { return fd.IsValid(); }
    // For poll: readable once the event is set.
    int Fd() const { return fd.Get(); }

private:
    UniqueFd fd;
};
