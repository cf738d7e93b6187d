#include "pinbank/GpioRegisters.h"

#include "pinbank/PinTable.h"
#include "platform/MapRegisterWindow.h"
#include "platform/RegisterBlocks.h"
#include "platform/RegisterWindow.h"

namespace {

constexpr std::int32_t FirstOutputPin = 50;
constexpr std::uint32_t OutputPinCount = 9;

std::uint32_t TwoBitField(std::uint32_t bits, const PinLine& entry)
{
    return bits << (2 * entry.line);
}

}

GpioRegisters::GpioRegisters()
    : window(MapRegisterWindow(GpioBlockAddress, GpioWindowSize))
{
}

GpioRegisters::~GpioRegisters()
{
    UnmapRegisterWindow(window, GpioWindowSize);
}

RegisterWindow GpioRegisters::Registers() const
{
    return RegisterWindow(window, GpioBlockAddress, GpioWindowSize);
}

std::int32_t GpioRegisters::GetInput(std::int32_t pin)
{
    const PinLine* entry = FindPin(pin);
    if (!entry || !window)
        return 0;
    const RegisterWindow gpio = Registers();
    if (entry->direction == PinDirection::Input) {
        // Another program may have turned the line into an output; put it back to input (00) on every
        // read so the data bit shows the outside level.
        const std::uint32_t control = gpio.Read32(entry->controlOffset);
        gpio.Write32(entry->controlOffset, control & ~TwoBitField(0b11, *entry));
    }
    const std::uint32_t data = gpio.Read32(DataWordOffset(*entry));
    return (data & LineBit(*entry)) != 0 ? 1 : 0;
}

void GpioRegisters::SetOutput(std::int32_t pin, std::int32_t level)
{
    // Only outputs can be driven. Unsigned arithmetic makes pins below 50 wrap to large values.
    if (static_cast<std::uint32_t>(pin) - static_cast<std::uint32_t>(FirstOutputPin) >= OutputPinCount)
        return;
    const PinLine* entry = FindPin(pin);
    if (!entry || !window)
        return;
    const RegisterWindow gpio = Registers();
    const std::uint32_t controlOffset = entry->controlOffset;

    if (entry->modeField == ModeField::TwoBits) {
        // The field reaches 01 through 11, in two separate read-modify-writes, never straight from 00
        // or 10 to 01.
        std::uint32_t control = gpio.Read32(controlOffset);
        gpio.Write32(controlOffset, control | TwoBitField(0b11, *entry));
        control = gpio.Read32(controlOffset);
        gpio.Write32(controlOffset, control & ~TwoBitField(0b10, *entry));
    } else {
        const std::uint32_t control = gpio.Read32(controlOffset);
        gpio.Write32(controlOffset, control & ~LineBit(*entry));
    }

    const std::uint32_t dataOffset = DataWordOffset(*entry);
    const std::uint32_t data = gpio.Read32(dataOffset);
    gpio.Write32(dataOffset, level != 0 ? data | LineBit(*entry) : data & ~LineBit(*entry));
}
