#include "pinbank/GpioLineFinder.h"

#include "pinbank/GpioCharDevice.h"
#include "pinbank/GpioDescriptor.h"

#include <cerrno>
#include <cstring>

#include <linux/gpio.h>

namespace {

// The kernel pads its names with zeros but a full-length one has no terminator.
std::string NameOf(const char (&field)[GPIO_MAX_NAME_SIZE])
{
    return std::string(field, strnlen(field, GPIO_MAX_NAME_SIZE));
}

bool OpenChip(GpioCharDevice& device, const std::string& path, GpioDescriptor* chip, gpiochip_info* info,
    std::string* problem)
{
    const int fd = device.Open(path);
    if (fd < 0) {
        *problem = errno == ENOENT ? "there is no GPIO chip " + path + " (ls /dev/gpiochip* lists them)"
                                   : "cannot open the GPIO chip " + path + ": " + std::strerror(errno);
        return false;
    }
    *chip = GpioDescriptor(device, fd);
    *info = {};
    if (chip->Ioctl(GPIO_GET_CHIPINFO_IOCTL, info) != 0) {
        *problem = path + " is not a GPIO chip: " + std::strerror(errno);
        return false;
    }
    return true;
}

}

GpioLineFinder::GpioLineFinder(GpioCharDevice& chips)
    : device(chips)
{
}

bool GpioLineFinder::Find(const BoardFile::Pin& source, Line* line, std::string* problem)
{
    if (!source.lineName.empty())
        return FindByName(source.lineName, line, problem);
    return FindOnChip(source.chip, source.offset, line, problem);
}

bool GpioLineFinder::FindOnChip(
    const std::string& chipPath, std::uint32_t offset, Line* line, std::string* problem)
{
    GpioDescriptor chip;
    gpiochip_info info {};
    if (!OpenChip(device, chipPath, &chip, &info, problem))
        return false;
    line->chipPath = chipPath;
    line->chipName = NameOf(info.name);
    if (offset >= info.lines) {
        *problem = chipPath + " has " + std::to_string(info.lines) + " lines, so there is no line "
            + std::to_string(offset);
        return false;
    }
    return Inspect(chip, offset, line, problem);
}

bool GpioLineFinder::Inspect(
    const GpioDescriptor& chip, std::uint32_t offset, Line* line, std::string* problem)
{
    gpio_v2_line_info info {};
    info.offset = offset;
    if (chip.Ioctl(GPIO_V2_GET_LINEINFO_IOCTL, &info) != 0) {
        *problem = "cannot ask " + line->chipPath + " about line " + std::to_string(offset) + ": "
            + std::strerror(errno);
        return false;
    }
    line->offset = offset;
    line->name = NameOf(info.name);
    line->consumer = NameOf(info.consumer);
    line->used = (info.flags & GPIO_V2_LINE_FLAG_USED) != 0;
    line->output = (info.flags & GPIO_V2_LINE_FLAG_OUTPUT) != 0;
    return true;
}

bool GpioLineFinder::FindByName(const std::string& name, Line* line, std::string* problem)
{
    ScanChips();
    std::vector<std::pair<const ScannedChip*, std::uint32_t>> matches;
    for (const ScannedChip& chip : scannedChips) {
        for (std::uint32_t offset = 0; offset < chip.lineNames.size(); ++offset) {
            if (chip.lineNames[offset] == name)
                matches.emplace_back(&chip, offset);
        }
    }
    if (matches.empty()) {
        *problem = "no GPIO line is named \"" + name + "\" (gpioinfo lists the names)";
        if (!unreadable.empty())
            *problem += "; not every chip could be searched: " + unreadable;
        return false;
    }
    if (matches.size() > 1) {
        *problem = "\"" + name + "\" names " + std::to_string(matches.size()) + " lines (";
        for (std::size_t i = 0; i < matches.size(); ++i)
            *problem += (i ? ", " : "") + matches[i].first->path + ":" + std::to_string(matches[i].second);
        *problem += "); name the one meant as CHIP:OFFSET";
        return false;
    }
    return FindOnChip(matches.front().first->path, matches.front().second, line, problem);
}

void GpioLineFinder::ScanChips()
{
    if (scanned)
        return;
    scanned = true;
    // A chip that cannot be opened or asked is left out: a name on it cannot be found, and the message
    // says why. Names are compared exactly as the kernel gives them.
    for (const std::string& path : device.Chips()) {
        GpioDescriptor chip;
        gpiochip_info info {};
        std::string failure;
        if (!OpenChip(device, path, &chip, &info, &failure)) {
            if (unreadable.empty())
                unreadable = failure;
            continue;
        }
        ScannedChip scannedChip { path, {} };
        for (std::uint32_t offset = 0; offset < info.lines; ++offset) {
            gpio_v2_line_info lineInfo {};
            lineInfo.offset = offset;
            scannedChip.lineNames.push_back(chip.Ioctl(GPIO_V2_GET_LINEINFO_IOCTL, &lineInfo) == 0
                    ? NameOf(lineInfo.name)
                    : std::string());
        }
        scannedChips.push_back(std::move(scannedChip));
    }
}

std::string GpioLineFinder::Describe(const Line& line)
{
    std::string text
        = (line.chipName.empty() ? line.chipPath : line.chipName) + " line " + std::to_string(line.offset);
    if (!line.name.empty())
        text += " \"" + line.name + "\"";
    return text;
}
