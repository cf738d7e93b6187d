#pragma once

#include <cstdint>

// How the GSM module is reached: its device name and line, 57600 baud, 8 data bits, one stop bit
// (code 0), no parity (code 0). Shared by the dialog and the command-line check.
constexpr const char16_t* ModemPortName = u"COM1:";
// The environment variable that names the device behind it (see DevicePath).
constexpr const char* ModemPortVariable = "COM1";
constexpr std::uint32_t ModemBaudRate = 57600;
constexpr std::uint8_t ModemByteSize = 8;
constexpr std::uint8_t ModemStopBits = 0;
constexpr std::uint8_t ModemParity = 0;
