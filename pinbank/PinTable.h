#pragma once

#include <cstdint>

// The GPIO library's pin numbers and the lines they stand for: the one table that the library, pinctl
// and devsim's board view all read, so a pin cannot mean one line in the library and another in a tool.

enum class PinDirection { Input, Output };

// How a port encodes a line's mode: the port at 0x00 has one bit per line (0 = output), the others a
// two-bit field per line (00 = input, 01 = output).
enum class ModeField { OneBit, TwoBits };

struct PinLine {
    std::int32_t pin;
    PinDirection direction;
    std::uint32_t controlOffset; // the port's control word; its data word sits one word above
    std::uint32_t line;
    ModeField modeField;
};

inline constexpr std::uint32_t DataWordDistance = 4;

inline constexpr PinLine PinTable[] = {
    { 0, PinDirection::Input, 0x50, 0, ModeField::TwoBits },
    { 1, PinDirection::Input, 0x50, 5, ModeField::TwoBits },
    { 2, PinDirection::Input, 0x50, 6, ModeField::TwoBits },
    { 3, PinDirection::Input, 0x50, 7, ModeField::TwoBits },
    { 50, PinDirection::Output, 0xF0, 13, ModeField::TwoBits },
    { 51, PinDirection::Output, 0x40, 11, ModeField::TwoBits },
    { 52, PinDirection::Output, 0x40, 12, ModeField::TwoBits },
    { 53, PinDirection::Output, 0x40, 13, ModeField::TwoBits },
    { 54, PinDirection::Output, 0x10, 2, ModeField::TwoBits },
    { 55, PinDirection::Output, 0x10, 3, ModeField::TwoBits },
    { 56, PinDirection::Output, 0x00, 26, ModeField::OneBit },
    { 57, PinDirection::Output, 0x10, 5, ModeField::TwoBits },
    { 58, PinDirection::Output, 0x00, 25, ModeField::OneBit },
};

// Output 54 is the line that the backlight library drives as the backlight's power enable.
inline constexpr std::int32_t BacklightPowerPin = 54;

// The table entry for `pin`, or null for a pin number that is not in the table.
constexpr const PinLine* FindPin(std::int32_t pin)
{
    for (const PinLine& entry : PinTable) {
        if (entry.pin == pin)
            return &entry;
    }
    return nullptr;
}

constexpr std::uint32_t DataWordOffset(const PinLine& entry)
{
    return entry.controlOffset + DataWordDistance;
}

constexpr std::uint32_t LineBit(const PinLine& entry)
{
    return 1u << entry.line;
}
