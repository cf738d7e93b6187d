#pragma once

#include <cstdint>

// How the GPS receiver is reached: its device name and line settings, and the range of report periods
// the rate frame may ask for. Shared by the dialog and the command-line check, so both talk to the
// receiver the same way.
constexpr const char16_t* GpsPortName = u"COM4:";
// The environment variable that says which Linux device "COM4:" is.
constexpr const char* GpsPortVariable = "COM4";
constexpr std::uint32_t GpsBaudRate = 9600;
// 8 data bits, one stop bit (code 0), no parity (code 0).
constexpr std::uint8_t GpsByteSize = 8;
constexpr std::uint8_t GpsStopBits = 0;
constexpr std::uint8_t GpsParity = 0;

constexpr int MinUpdateRateSeconds = 1;
constexpr int MaxUpdateRateSeconds = 60;
