#pragma once

#include <cstdint>

// The two register blocks the libraries reach, by the platform address the device knows them at and
// the size of the window mapped over them.
inline constexpr std::uint32_t GpioBlockAddress = 0x92100000;
inline constexpr std::uint32_t GpioWindowSize = 0x100;
inline constexpr std::uint32_t TimerBlockAddress = 0x91A00000;
inline constexpr std::uint32_t TimerWindowSize = 0x44;
