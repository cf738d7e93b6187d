#include "platform/BoardFile.h"

#include "platform/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A board file is a screenful of lines; anything far larger is not one, and every process that loads a
// library reads it.
constexpr std::size_t SizeLimit = 64 * 1024;
constexpr std::size_t ShownLineLimit = 80;
constexpr std::string_view PinPrefix = "pin.";

std::string_view Trim(std::string_view text)
{
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && space(text.back()))
        text.remove_suffix(1);
    return text;
}

bool IsPrintable(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

bool ParseDecimal(std::string_view text, std::uint32_t* value)
{
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size();
}

// Which part of the board an unknown key was most likely about.
BoardFile::Part PartOfKey(std::string_view key)
{
    if (key.starts_with("pin"))
        return BoardFile::Part::Gpio;
    if (key.starts_with("backlight"))
        return BoardFile::Part::Backlight;
    return BoardFile::Part::Whole;
}

// Built piece by piece: GCC 12 at -O3 sees a false overlap in "\"" + std::string(...).
std::string Quoted(std::string_view text)
{
    std::string quoted(1, '"');
    quoted += text;
    quoted += '"';
    return quoted;
}

bool ReadAll(int fd, std::string* text)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        text->append(buffer, static_cast<std::size_t>(got));
        if (text->size() > SizeLimit) {
            errno = EFBIG;
            return false;
        }
    }
}

}

std::string BoardFile::PathFor(const char* variable)
{
    return variable && *variable ? variable : DefaultPath;
}

std::string BoardFile::PathForProcess()
{
    return PathFor(secure_getenv(PathVariable));
}

void BoardFile::Load()
{
    const char* variable = secure_getenv(PathVariable);
    Load(PathFor(variable), !(variable && *variable));
}

void BoardFile::Load(const std::string& filePath, bool mayBeMissing)
{
    *this = BoardFile();
    path = filePath;
    const FileDescriptor file(
        OpenRetrying(AT_FDCWD, filePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.Get() < 0 && errno == ENOENT && mayBeMissing)
        return;
    found = true;
    if (file.Get() < 0) {
        FailWhole(std::strerror(errno));
        return;
    }
    struct stat status { };
    std::string text;
    const char* failure = nullptr;
    if (fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        failure = "not a regular file";
    else if (!ReadAll(file.Get(), &text))
        failure = errno == EFBIG ? "larger than 64 KiB, so not a board file" : std::strerror(errno);
    if (failure) {
        FailWhole(failure);
        return;
    }
    Parse(filePath, text);
}

void BoardFile::Parse(const std::string& filePath, std::string_view text)
{
    path = filePath;
    found = true;
    // Editors on other systems start a UTF-8 file with a byte order mark; it is not part of the first key.
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        ParseLine(++number, text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
}

void BoardFile::ParseLine(int number, std::string_view line)
{
    line = Trim(line);
    const std::string_view content = Trim(line.substr(0, line.find('#')));
    if (content.empty())
        return;
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos) {
        const std::string_view word = content.substr(0, content.find_first_of(" \t"));
        Bad(number, line, "not a \"key = value\" line", PartOfKey(word));
        return;
    }
    const std::string_view key = Trim(content.substr(0, equals));
    const std::string_view value = Trim(content.substr(equals + 1));
    if (key == "backlight")
        ParseBacklight(number, line, value);
    else if (key.starts_with(PinPrefix))
        ParsePin(number, line, key, value);
    else
        Bad(number, line, "unknown key " + Quoted(key) + " (the keys are backlight and pin.N)",
            PartOfKey(key));
}

void BoardFile::ParsePin(int number, std::string_view line, std::string_view key, std::string_view value)
{
    std::uint32_t unsignedPin = 0;
    if (!ParseDecimal(key.substr(PinPrefix.size()), &unsignedPin)
        || !IsLibraryPin(static_cast<std::int32_t>(std::min<std::uint32_t>(unsignedPin, INT32_MAX)))) {
        Bad(number, line, "no such pin " + Quoted(key) + " (the pins are 0 to 3 and 50 to 58)", Part::Gpio);
        return;
    }
    const auto pin = static_cast<std::int32_t>(unsignedPin);
    const std::string name = "pin " + std::to_string(pin);
    const auto earlier
        = std::find_if(pins.begin(), pins.end(), [pin](const Pin& source) { return source.pin == pin; });
    if (earlier != pins.end()) {
        Bad(number, line,
            name + " is named twice (first on line " + std::to_string(earlier->lineNumber)
                + "); it stays out of reach",
            Part::Gpio);
        DropPin(pin);
        return;
    }
    if (std::find(spoiledPins.begin(), spoiledPins.end(), pin) != spoiledPins.end()) {
        Bad(number, line, name + " was named badly before; it stays out of reach", Part::Gpio);
        return;
    }
    Pin source;
    source.pin = pin;
    source.lineNumber = number;
    const std::size_t colon = value.rfind(':');
    if (colon != std::string_view::npos) {
        const std::string_view chip = Trim(value.substr(0, colon));
        const bool chipFine
            = !chip.empty() && IsPrintable(chip) && (chip.front() == '/' || chip.find('/') == chip.npos);
        if (!chipFine || !ParseDecimal(Trim(value.substr(colon + 1)), &source.offset)) {
            Bad(number, line,
                "give CHIP:OFFSET (such as gpiochip0:17) or a line name; " + name + " stays out of reach",
                Part::Gpio);
            DropPin(pin);
            return;
        }
        source.chip = chip.front() == '/' ? std::string(chip) : "/dev/" + std::string(chip);
    } else if (value.empty() || value.size() > LineNameLimit || !IsPrintable(value)) {
        Bad(number, line, "a line name has 1 to 31 printable characters; " + name + " stays out of reach",
            Part::Gpio);
        DropPin(pin);
        return;
    } else {
        source.lineName = value;
    }
    gpioNamed = true;
    pins.push_back(std::move(source));
}

void BoardFile::ParseBacklight(int number, std::string_view line, std::string_view value)
{
    if (backlightNamed) {
        Bad(number, line,
            "the backlight is named twice (first on line " + std::to_string(backlightLine)
                + "); it stays out of reach",
            Part::Backlight);
        return;
    }
    backlightNamed = true;
    backlightLine = number;
    if (value == "auto") {
        backlightAuto = true;
        return;
    }
    if (value.empty() || value.front() != '/' || !IsPrintable(value)) {
        Bad(number, line,
            "give the directory of a backlight class device (such as /sys/class/backlight/NAME) or auto; "
            "the backlight stays out of reach",
            Part::Backlight);
        return;
    }
    while (value.size() > 1 && value.back() == '/')
        value.remove_suffix(1);
    backlightDirectory = value;
}

void BoardFile::Bad(int number, std::string_view line, std::string reason, Part part)
{
    std::string shown(line.substr(0, ShownLineLimit));
    if (line.size() > ShownLineLimit)
        shown += "...";
    if (part == Part::Whole)
        reason += "; nothing on the board is reachable until it is mended";
    problems.push_back({ number, std::move(shown), std::move(reason), part });
    switch (part) {
    case Part::Gpio:
        gpioNamed = true;
        break;
    case Part::Backlight:
        backlightNamed = true;
        backlightBad = true;
        break;
    case Part::Whole:
        wholeBad = true;
        break;
    }
}

void BoardFile::FailWhole(std::string reason)
{
    wholeBad = true;
    problems.push_back(
        { 0, {}, std::move(reason) + "; nothing on the board is reachable until it is mended", Part::Whole });
}

void BoardFile::DropPin(std::int32_t pin)
{
    std::erase_if(pins, [pin](const Pin& source) { return source.pin == pin; });
    spoiledPins.push_back(pin);
}

BoardWay BoardFile::GpioWay() const
{
    if (wholeBad)
        return BoardWay::OutOfReach;
    return gpioNamed ? BoardWay::Kernel : BoardWay::Registers;
}

BoardWay BoardFile::BacklightWay() const
{
    if (wholeBad || backlightBad)
        return BoardWay::OutOfReach;
    return backlightNamed ? BoardWay::Kernel : BoardWay::Registers;
}

const BoardFile::Pin* BoardFile::PinSource(std::int32_t pin) const
{
    if (wholeBad)
        return nullptr;
    const auto entry
        = std::find_if(pins.begin(), pins.end(), [pin](const Pin& source) { return source.pin == pin; });
    return entry == pins.end() ? nullptr : &*entry;
}

std::vector<std::string> BoardFile::Messages(Part part) const
{
    std::vector<std::string> messages;
    for (const Problem& problem : problems) {
        if (problem.part != part && problem.part != Part::Whole)
            continue;
        if (problem.lineNumber == 0)
            messages.push_back(path + ": " + problem.reason);
        else
            messages.push_back(path + " line " + std::to_string(problem.lineNumber) + ": "
                + Quoted(problem.text) + ": " + problem.reason);
    }
    return messages;
}
