#pragma once

#include <cstdint>

class RegisterWindow;

// The GPIO library's one object: it owns the mapping of the GPIO register block and turns pin numbers
// into the register sequences of the pin table. It keeps no memory of what it set: every call writes
// the line's mode again. Not thread-safe; callers serialise calls that touch the same port.
class GpioRegisters {
public:
    // Maps the GPIO window; when that fails the object stays usable with no window and every call
    // becomes a no-op (GetInput answers 0).
    GpioRegisters();
    GpioRegisters(const GpioRegisters&) = delete;
    GpioRegisters& operator=(const GpioRegisters&) = delete;
    virtual ~GpioRegisters();

    bool HasWindow() const { return window != nullptr; }

    // 1 if the pin's line is high, 0 if low or if the pin is not in the table.
    std::int32_t GetInput(std::int32_t pin);

    // Drives output pins 50 to 58: high for a non-zero level, low for zero. Other pins do nothing.
    void SetOutput(std::int32_t pin, std::int32_t level);

private:
    RegisterWindow Registers() const;

    void* window;
};
