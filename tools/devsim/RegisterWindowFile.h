#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One simulated register window as the libraries see it: a file named after the window's platform
// address ("92100000.reg") holding the registers as little-endian 32-bit words at their offsets. Only
// ever read here; a window that is missing or short reads as zeros, and the note says so.
class RegisterWindowFile {
public:
    enum class State { Zeros, Read, Missing, Short, Unreadable };

    // A window of size bytes at the platform address, all zeros until loaded or set.
    RegisterWindowFile(std::uint32_t address, std::size_t size);

    // Reads the window's file from dir; never creates or writes it.
    void Load(const std::string& dir);
    // Puts a register value in place (for showing given words without a file).
    void SetWord(std::size_t offset, std::uint32_t value);
    // The register at offset; 0 outside the window.
    std::uint32_t Word(std::size_t offset) const;

    // "92100000.reg": eight lower-case hex digits and the suffix.
    std::string FileName() const;
    std::size_t Size() const { return bytes.size(); }
    State GetState() const { return state; }
    // How the file was found, for a person: "256 bytes", "missing: every register reads as 0", ...
    std::string Note() const;

private:
    std::uint32_t address;
    std::vector<std::uint8_t> bytes;
    State state = State::Zeros;
    std::size_t fileBytes = 0;
    int readError = 0;
};
