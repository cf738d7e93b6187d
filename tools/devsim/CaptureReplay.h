#pragma once

#include <cstddef>
#include <string>

// A receiver capture played back as the receiver's output: lines starting with '#' (the capture's own
// notes) are left out, everything else is kept byte for byte, binary frames included, and playback
// starts over at the end.
class CaptureReplay {
public:
    // Largest capture accepted; captures are a few hundred kilobytes at most.
    static constexpr std::size_t MaxBytes = 64u << 20;

    // false with a message for the user when the file cannot be read, is too large, or holds nothing
    // but notes.
    [[nodiscard]] bool Load(const std::string& path, std::string* error);
    // Takes the bytes from a whole capture's text instead of a file (same rules as Load).
    [[nodiscard]] bool LoadText(const std::string& text, std::string* error);

    // The next size bytes of the endless playback.
    std::string Next(std::size_t size);
    // Bytes in one pass over the capture.
    std::size_t Size() const { return bytes.size(); }

private:
    std::string bytes;
    std::size_t position = 0;
};
