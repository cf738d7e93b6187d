#include "glowkit/BacklightClassDevice.h"

#include "platform/FileDescriptor.h"
#include "platform/ReportProblem.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char* Source = "glowkit";
constexpr const char* Brightness = "brightness";
constexpr const char* Power = "bl_power";
constexpr const char* MaxBrightness = "max_brightness";
// bl_power takes the framebuffer blanking levels: unblank, and powered down.
constexpr std::int32_t PowerUp = 0;
constexpr std::int32_t PowerDown = 4;
constexpr std::int32_t OffLevel = 0;
constexpr std::int32_t FullLevel = 100;
// The kernel's order of preference among backlight types.
constexpr const char* TypePreference[] = { "firmware", "platform", "raw" };

constexpr const char* WriteFix = "the deviceprobe-tools package's udev rule lets the video group write it: "
                                 "sudo adduser $USER video, then log in again";

int OpenAttribute(const std::string& path, int flags)
{
    return OpenRetrying(AT_FDCWD, path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
}

// The attribute's text, at most a short line, without its trailing whitespace.
bool ReadText(const std::string& path, std::string* text)
{
    const FileDescriptor attribute(OpenAttribute(path, O_RDONLY));
    if (attribute.Get() < 0)
        return false;
    char buffer[64];
    ssize_t got;
    do
        got = read(attribute.Get(), buffer, sizeof buffer);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        return false;
    text->assign(buffer, static_cast<std::size_t>(got));
    while (!text->empty() && (text->back() == '\n' || text->back() == ' '))
        text->pop_back();
    return true;
}

// Whether the attribute could be opened for writing, without writing it.
bool CanWrite(const std::string& path)
{
    return FileDescriptor(OpenAttribute(path, O_WRONLY)).Get() >= 0;
}

}

BacklightClassDevice::BacklightClassDevice(
    std::atomic<std::int32_t>& storedLevel, std::string deviceDirectory, std::string classRoot)
    : named(std::move(deviceDirectory))
    , root(std::move(classRoot))
    , level(storedLevel)
{
}

std::int32_t BacklightClassDevice::InitBacklightCtrl()
{
    if (!directory.empty())
        return 1;
    const std::string candidate = named.empty() ? ChooseAutomatically(root) : named;
    if (candidate.empty()) {
        ReportProblemFrom(Source, "no backlight device in %s (the board file says auto)", root.c_str());
        return 0;
    }
    std::int32_t brightness = 0;
    if (!CheckDevice(candidate, &brightness))
        return 0;
    directory = candidate;
    // Started powered up, as the register way raises the power enable, and at the level it shows.
    if (!Write(Power, PowerUp)) {
        directory.clear();
        return 0;
    }
    const std::int32_t adopted = LevelFor(std::clamp(brightness, 0, maxBrightness), maxBrightness);
    level.store(adopted, std::memory_order_relaxed);
    SetBrightness(adopted > 0 ? adopted : FullLevel);
    return 1;
}

bool BacklightClassDevice::CheckDevice(const std::string& candidate, std::int32_t* brightness)
{
    std::int32_t steps = 0;
    const bool readable = ReadAttribute(candidate, MaxBrightness, &steps);
    if (!readable || steps < 1) {
        ReportProblemFrom(Source,
            "%s is not a backlight device: %s/%s %s (ls /sys/class/backlight lists them)", candidate.c_str(),
            candidate.c_str(), MaxBrightness,
            !readable && errno == ENOENT ? "does not exist" : "holds no step count");
        return false;
    }
    if (!ReadAttribute(candidate, Brightness, brightness)) {
        ReportProblemFrom(
            Source, "cannot read %s/%s: %s", candidate.c_str(), Brightness, std::strerror(errno));
        return false;
    }
    for (const char* attribute : { Brightness, Power }) {
        if (!CanWrite(candidate + "/" + attribute)) {
            ReportProblemFrom(Source, "cannot write %s/%s: %s; %s", candidate.c_str(), attribute,
                std::strerror(errno), WriteFix);
            return false;
        }
    }
    maxBrightness = steps;
    return true;
}

std::int32_t BacklightClassDevice::SetBrightness(std::int32_t newLevel)
{
    const std::int32_t old = level.load(std::memory_order_relaxed);
    if (directory.empty() || newLevel == old)
        return old;
    level.store(newLevel, std::memory_order_relaxed);
    if (newLevel == OffLevel) {
        if (Write(Power, PowerDown))
            (void)Write(Brightness, 0);
        return old;
    }
    if (Write(Power, PowerUp) && newLevel > 0)
        (void)Write(Brightness, BrightnessFor(newLevel, maxBrightness));
    return old;
}

bool BacklightClassDevice::Write(const char* name, std::int32_t value) const
{
    const std::string path = directory + "/" + name;
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%d\n", value);
    const FileDescriptor attribute(OpenAttribute(path, O_WRONLY | O_TRUNC));
    ssize_t written = -1;
    if (attribute.Get() >= 0) {
        do
            written = write(attribute.Get(), text, static_cast<std::size_t>(length));
        while (written < 0 && errno == EINTR);
    }
    if (written == length)
        return true;
    ReportProblemFrom(Source, "cannot write %d to %s: %s", value, path.c_str(),
        written >= 0 ? "short write" : std::strerror(errno));
    return false;
}

std::string BacklightClassDevice::ChooseAutomatically(const std::string& classRoot)
{
    std::vector<std::pair<std::size_t, std::string>> candidates;
    DIR* devices = opendir(classRoot.c_str());
    if (!devices)
        return {};
    while (const dirent* entry = readdir(devices)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string device = classRoot + "/" + entry->d_name;
        std::string type;
        if (!ReadText(device + "/type", &type))
            continue;
        const auto preferred = std::find(std::begin(TypePreference), std::end(TypePreference), type);
        if (preferred != std::end(TypePreference))
            candidates.emplace_back(preferred - std::begin(TypePreference), device);
    }
    closedir(devices);
    if (candidates.empty())
        return {};
    return std::min_element(candidates.begin(), candidates.end())->second;
}

std::int32_t BacklightClassDevice::BrightnessFor(std::int32_t newLevel, std::int32_t steps)
{
    if (newLevel <= OffLevel)
        return 0;
    if (newLevel >= FullLevel)
        return steps;
    const std::int64_t nearest = (std::int64_t { newLevel } * steps + FullLevel / 2) / FullLevel;
    return static_cast<std::int32_t>(std::max<std::int64_t>(nearest, 1));
}

std::int32_t BacklightClassDevice::LevelFor(std::int32_t brightness, std::int32_t steps)
{
    if (brightness <= 0 || steps <= 0)
        return OffLevel;
    if (brightness >= steps)
        return FullLevel;
    const std::int64_t nearest
        = (std::int64_t { brightness } * 2 * FullLevel + steps) / (std::int64_t { 2 } * steps);
    return static_cast<std::int32_t>(std::max<std::int64_t>(nearest, 1));
}

bool BacklightClassDevice::ReadAttribute(
    const std::string& deviceDirectory, const char* name, std::int32_t* value)
{
    std::string text;
    if (!ReadText(deviceDirectory + "/" + name, &text))
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        errno = EINVAL;
        return false;
    }
    return true;
}
