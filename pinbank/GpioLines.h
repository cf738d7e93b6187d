#pragma once

#include "pinbank/GpioLineFinder.h"
#include "pinbank/LineRequest.h"

#include <cstdint>
#include <vector>

class BoardFile;
class GpioCharDevice;

// The GPIO library's way through the kernel's GPIO character device, for a board file that names the
// pins: the same pins and levels as GpioRegisters, on the lines the file gives. Every line is requested
// when the object is made (inputs as inputs, outputs as outputs keeping their level) and released when
// it goes. A pin whose line cannot be found or requested (missing chip, a line another consumer holds,
// the same line named for two pins) is said once on standard error and stays out of reach: reads give
// 0 and writes do nothing, as without a register window. Not thread-safe; callers serialise.
class GpioLines {
public:
    GpioLines(const BoardFile& board, GpioCharDevice& device);
    GpioLines(const GpioLines&) = delete;
    GpioLines& operator=(const GpioLines&) = delete;

    // 1 if the pin's line is high, 0 if low, out of reach or not a pin of the library.
    std::int32_t GetInput(std::int32_t pin);

    // Drives output pins 50 to 58: high for a non-zero level, low for zero. Other pins do nothing.
    void SetOutput(std::int32_t pin, std::int32_t level);

private:
    struct HeldPin {
        std::int32_t pin;
        bool output;
        GpioLineFinder::Line line;
        LineRequest request;
    };

    void Take(const BoardFile& board, std::int32_t pin, bool output, GpioCharDevice& device,
        GpioLineFinder& finder);
    const HeldPin* Find(std::int32_t pin) const;

    std::vector<HeldPin> held;
};
