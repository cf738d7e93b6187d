#include "pinbank/GpioRegisters.h"

#include "platform/MapRegisterWindow.h"
#include "platform/RegisterWindow.h"

namespace {

constexpr std::uint32_t GpioBlockAddress = 0x92100000;
constexpr std::uint32_t GpioWindowSize = 0x100;

// Control words of the ports that carry our pins. Each port's data word sits one word above.
constexpr std::uint32_t Port00Control = 0x00;
constexpr std::uint32_t Port10Control = 0x10;
constexpr std::uint32_t Port40Control = 0x40;
constexpr std::uint32_t Port50Control = 0x50;
constexpr std::uint32_t PortF0Control = 0xF0;
constexpr std::uint32_t DataWordDistance = 4;

constexpr std::int32_t FirstOutputPin = 50;
constexpr std::uint32_t OutputPinCount = 9;

// How a port encodes a line's mode: the port at 0x00 has one bit per line (0 = output), the others a
// two-bit field per line (00 = input, 01 = output).
enum class ModeField { OneBit, TwoBits };

struct PinLine {
    std::int32_t pin;
    std::uint32_t controlOffset;
    std::uint32_t line;
    ModeField modeField;
};

constexpr PinLine PinTable[] = {
    { 0, Port50Control, 0, ModeField::TwoBits },
    { 1, Port50Control, 5, ModeField::TwoBits },
    { 2, Port50Control, 6, ModeField::TwoBits },
    { 3, Port50Control, 7, ModeField::TwoBits },
    { 50, PortF0Control, 13, ModeField::TwoBits },
    { 51, Port40Control, 11, ModeField::TwoBits },
    { 52, Port40Control, 12, ModeField::TwoBits },
    { 53, Port40Control, 13, ModeField::TwoBits },
    { 54, Port10Control, 2, ModeField::TwoBits },
    { 55, Port10Control, 3, ModeField::TwoBits },
    { 56, Port00Control, 26, ModeField::OneBit },
    { 57, Port10Control, 5, ModeField::TwoBits },
    { 58, Port00Control, 25, ModeField::OneBit },
};

const PinLine* FindPin(std::int32_t pin)
{
    for (const PinLine& entry : PinTable) {
        if (entry.pin == pin)
            return &entry;
    }
    return nullptr;
}

bool IsInputPin(std::int32_t pin)
{
    return pin >= 0 && pin < FirstOutputPin;
}

std::uint32_t LineBit(const PinLine& entry)
{
    return 1u << entry.line;
}

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
    if (IsInputPin(pin)) {
        // Another program may have turned the line into an output; put it back to input (00) on every
        // read so the data bit shows the outside level.
        const std::uint32_t control = gpio.Read32(entry->controlOffset);
        gpio.Write32(entry->controlOffset, control & ~TwoBitField(0b11, *entry));
    }
    const std::uint32_t data = gpio.Read32(entry->controlOffset + DataWordDistance);
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

    const std::uint32_t dataOffset = controlOffset + DataWordDistance;
    const std::uint32_t data = gpio.Read32(dataOffset);
    gpio.Write32(dataOffset, level != 0 ? data | LineBit(*entry) : data & ~LineBit(*entry));
}
