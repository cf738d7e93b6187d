#pragma once

#include "tools/probecheck/Check.h"
#include "tools/probecheck/WindowReader.h"

// A check of the board's registers through one of the device libraries. gpio and backlight share the
// board (output 54 is the backlight's power enable), so they never run at the same time.
class BoardCheck : public Check {
public:
    static constexpr const char* BoardResource = "board";

    // A named board is set for the whole process before any check runs, for the libraries to find.
    std::string Prepare() override
    {
        std::string error;
        if (!device.empty() && !WindowReader::UseBoardDirectory(device, &error))
            return error;
        return {};
    }
    std::string Resource() const override { return BoardResource; }
    const char* DeviceKind() const override { return "registers"; }
};
