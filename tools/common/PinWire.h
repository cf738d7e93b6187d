#pragma once

#include <string>
#include <string_view>

// A loopback wire of a test fixture, from an output of the GPIO library to one of its inputs, as both
// tools take it from the command line: "OUT:IN", e.g. "54:2".
struct PinWire {
    int output = 0; // 50 to 58
    int input = 0; // 0 to 3
};

// False with a message for anything but OUT:IN with an output and an input of the pin table.
[[nodiscard]] bool ParsePinWire(std::string_view text, PinWire* wire, std::string* error);
