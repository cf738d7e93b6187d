#pragma once

#include "tools/probecheck/Check.h"
#include "tools/probecheck/CheckLoop.h"

#include <cstdint>
#include <string>

class SerialSession;

// A check of a device on a serial line, opened the way its program opens it.
class SerialCheck : public Check {
public:
    // The line as the program sets it up: its port name ("COM4:") and settings.
    struct Line {
        const char16_t* portName;
        std::uint32_t baudRate;
        std::uint8_t byteSize;
        std::uint8_t stopBits;
        std::uint8_t parity;
    };

    explicit SerialCheck(Line serialLine)
        : serial(serialLine)
    {
    }

    // Resolves --device (or the program's port name) to the device's path.
    std::string Prepare(CheckRecord& record) override;
    std::string Resource() const override { return devicePath; }

protected:
    // Opens the port and says so; false, with record ended as not run, when it is missing or busy.
    bool Open(SerialSession& port, Progress& progress, CheckRecord& record);
    // Ends record when a wait ended early: interrupted (not run), or the device went away (failed).
    // True when it did.
    bool EndedEarly(
        CheckLoop::Stop stop, const CheckLoop& loop, const SerialSession& port, CheckRecord& record);

    Line serial;
    std::u16string portName;
    std::string devicePath;
};
