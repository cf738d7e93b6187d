#pragma once

#include "platform/BoardFile.h"

#include <cstdint>
#include <string>
#include <vector>

class GpioCharDevice;
class GpioDescriptor;

// Finds the line behind a pin that the board file names, and what the kernel says of it. A CHIP:OFFSET
// pin is checked against that chip; a line name is looked up on every chip of the machine and must name
// exactly one line, because driving the wrong one of two could harm the board. Each chip is scanned at
// most once per finder.
class GpioLineFinder {
public:
    struct Line {
        std::string chipPath;
        std::string chipName; // the kernel's name, "gpiochip0": the same chip whatever path reached it
        std::uint32_t offset = 0;
        std::string name; // the line's own name; may be empty
        std::string consumer; // who holds the line; empty when nobody does (or the holder gave no name)
        bool used = false;
        bool output = false;
    };

    explicit GpioLineFinder(GpioCharDevice& chips);
    GpioLineFinder(const GpioLineFinder&) = delete;
    GpioLineFinder& operator=(const GpioLineFinder&) = delete;

    // False with a sentence for the user in *problem: a missing or unreadable chip, an offset past the
    // chip's last line, a name that no line or several lines have.
    bool Find(const BoardFile::Pin& source, Line* line, std::string* problem);

    // What the kernel says of `offset` on the chip open as `chip` (chipPath and chipName already set).
    static bool Inspect(const GpioDescriptor& chip, std::uint32_t offset, Line* line, std::string* problem);

    // "gpiochip0 line 17 "GPS_PWR"", for messages.
    static std::string Describe(const Line& line);

private:
    struct ScannedChip {
        std::string path;
        std::vector<std::string> lineNames;
    };

    bool FindOnChip(const std::string& chipPath, std::uint32_t offset, Line* line, std::string* problem);
    bool FindByName(const std::string& name, Line* line, std::string* problem);
    void ScanChips();

    GpioCharDevice& device;
    bool scanned = false;
    std::vector<ScannedChip> scannedChips;
    std::string unreadable; // why the first chip that could not be searched could not
};
