#pragma once

#include "serial/UniqueFd.h"

#include <chrono>
#include <cstdint>

// The device operations of the serial link: exclusive open and release, the reader's waits and
// timed reads, bounded writes. Every wait is a poll on the device together with a stop event, so
// whichever thread waits can always be released, and nothing ever sleeps in a loop.
class DeviceIo {
public:
    // One timed read returns when Capacity bytes have arrived, after Interval without a new byte, or
    // after Constant + PerByte * Capacity from its start, whichever comes first.
    struct ReadTiming {
        int capacity;
        std::chrono::milliseconds interval;
        std::chrono::milliseconds constant;
        std::chrono::milliseconds perByte;
    };

    enum class Wake {
        Input, // the device has a byte (or an error to report) for the next read
        Stopped, // the stop event is set
        Vanished, // the device hung up or went away: nothing will ever arrive again
    };

    // Opens path for reading and writing as a terminal that will not become our controlling one,
    // then makes it ours alone: an advisory exclusive lock that every process using this class
    // honours (root included), plus the kernel's exclusive mode, which refuses later opens by
    // anyone but root. DTR and RTS, which open raises on real adapters, are lowered at once. On
    // failure nothing stays open or locked, errno tells why (EWOULDBLOCK: in use) and false returns.
    [[nodiscard]] static bool OpenExclusive(const char* path, UniqueFd* device);
    // Gives up the exclusive mode and the lock, then closes.
    static void Release(UniqueFd* device);

    // Blocks until the device has input, the stop event is set or the device is gone.
    static Wake WaitForInput(int device, int stopEvent);

    // Reads into buffer under timing; *count tells how many bytes arrived (possibly 0). A result
    // of Stopped or Vanished may come with bytes; the caller decides what to do with them.
    static Wake ReadChunk(
        int device, int stopEvent, const ReadTiming& timing, std::uint8_t* buffer, int* count);

    // One write of length bytes that gives up after timeout; a device that stops taking bytes or
    // fails keeps the rest. Returns how many bytes went out.
    static std::int64_t WriteBounded(
        int device, const std::uint8_t* data, std::int64_t length, std::chrono::milliseconds timeout);

private:
    // Polls device and stop event for at most timeout (negative: no limit).
    static Wake Poll(int device, int stopEvent, std::chrono::milliseconds timeout, bool* timedOut);
};
