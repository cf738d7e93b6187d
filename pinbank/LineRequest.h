#pragma once

#include "pinbank/GpioDescriptor.h"
#include "pinbank/GpioLineFinder.h"

#include <cstdint>
#include <string>

class GpioCharDevice;

// One GPIO line requested from the kernel under the consumer name "pinbank", held until the object goes.
// Levels are the physical ones (1 = high): nothing is requested active-low.
class LineRequest {
public:
    static constexpr const char* Consumer = "pinbank";

    LineRequest() = default;
    LineRequest(LineRequest&&) = default;
    LineRequest& operator=(LineRequest&&) = default;

    // Requests `line`: an input as an input; an output as an output that keeps the level the line has
    // now, so taking it over does not make it glitch. False with a sentence for the user in *problem;
    // a line held by someone else names the holder.
    [[nodiscard]] bool Request(
        GpioCharDevice& device, const GpioLineFinder::Line& line, bool output, std::string* problem);

    // The line's level, 1 high or 0 low; false with errno set when the kernel refused.
    [[nodiscard]] bool Get(std::int32_t* level) const;
    // Drives an output line high for a non-zero level; false with errno set when the kernel refused.
    [[nodiscard]] bool Set(std::int32_t level) const;

private:
    bool KeepLevelAsOutput(std::string* problem) const;

    GpioDescriptor held;
};
