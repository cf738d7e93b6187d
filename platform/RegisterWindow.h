#pragma once

#include "platform/RegisterObserver.h"

#include <bit>
#include <cassert>
#include <cstdint>

// A view of a mapped register window. It does not own the mapping (the library object that mapped it
// does); it only turns named offsets into single aligned volatile 32-bit accesses, one bus access per
// call, so every read-modify-write step stays visible in the code that uses it.
//
// Register words are little-endian, on the device and in the simulated board's files alike, so a
// big-endian host swaps each word on its way in and out: the bytes of a window (and of a register file
// that other processes and tools read) are the same whatever the host, and the swap costs a little-endian
// host nothing.
class RegisterWindow {
public:
    // `window` must be non-null and mapped for `size` bytes; `platformAddress` only names the window
    // for the observer.
    RegisterWindow(void* window, std::uint32_t platformAddress, std::uint32_t size)
        : words(static_cast<volatile std::uint32_t*>(window))
        , address(platformAddress)
        , windowSize(size)
    {
        assert(window && "a register window view needs a mapped window");
    }

    std::uint32_t Read32(std::uint32_t offset) const
    {
        assert(
            offset % 4 == 0 && offset < windowSize && "register offsets are aligned words inside the window");
        const std::uint32_t value = FromLittleEndian(words[offset / 4]);
        if (registerobserver::installed.load(std::memory_order_relaxed)) [[unlikely]]
            registerobserver::Report(address, offset, false, value);
        return value;
    }

    void Write32(std::uint32_t offset, std::uint32_t value) const
    {
        assert(
            offset % 4 == 0 && offset < windowSize && "register offsets are aligned words inside the window");
        words[offset / 4] = FromLittleEndian(value);
        if (registerobserver::installed.load(std::memory_order_relaxed)) [[unlikely]]
            registerobserver::Report(address, offset, true, value);
    }

private:
    // Swapping is its own inverse, so the same function converts in both directions.
    static constexpr std::uint32_t FromLittleEndian(std::uint32_t word)
    {
        if constexpr (std::endian::native == std::endian::little)
            return word;
        return __builtin_bswap32(word);
    }

    volatile std::uint32_t* words;
    std::uint32_t address;
    [[maybe_unused]] std::uint32_t windowSize; // checked by the asserts of debug builds
};
