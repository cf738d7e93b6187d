#pragma once

#include "platform/RegisterBlocks.h"

#include <cstdint>
#include <string>

// One register window mapped for reading, the very way the libraries map it, so a check can look at
// what a library call left in the registers. Unmapped when the object goes.
class WindowReader {
public:
    // Points this process, and so the libraries it loads afterwards, at the simulated board in dir
    // instead of wherever the environment points. False with a message when dir is no directory, so a
    // mistyped path is reported rather than turned into a fresh, empty board.
    [[nodiscard]] static bool UseBoardDirectory(const std::string& dir, std::string* error);

    WindowReader() = default;
    WindowReader(const WindowReader&) = delete;
    WindowReader& operator=(const WindowReader&) = delete;
    ~WindowReader();

    // name ("GPIO") is for the message when the window cannot be mapped.
    [[nodiscard]] bool Map(const char* name, std::uint32_t address, std::uint32_t size, std::string* error);
    std::uint32_t Read32(std::uint32_t offset) const;
    // The file or device behind the window ("/run/user/1000/regwin/92100000.reg", "/dev/mem").
    const std::string& Source() const { return source; }
    // The board as a person names it: the directory of a simulated window's file, else Source().
    std::string Board() const;

private:
    void* window = nullptr;
    std::uint32_t address = 0;
    std::uint32_t size = 0;
    std::string source;
};
