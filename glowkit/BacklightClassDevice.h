#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// The backlight library's way through the kernel's backlight class, for a board file that names a
// device directory (or auto): the same levels as BacklightControl, on /sys/class/backlight/<name>/.
// Level 0 powers the light down (bl_power 4, brightness 0); 1 to 100 power it up (bl_power 0) and set
// brightness to the level scaled onto 0..max_brightness, rounded to the nearest step (halves up) and
// at least 1, so 100 gives max_brightness and no level above 0 is dark. Levels above 100 give
// max_brightness; a negative level powers the light up and leaves brightness as it is, as the register
// way leaves the duty. Each attribute is written whole (opened with truncation), as sysfs expects.
// Not thread-safe: callers serialise InitBacklightCtrl and SetBrightness. The level is an atomic the
// owner keeps, so it can be read on any thread at any time, even while the device is being destroyed.
class BacklightClassDevice {
public:
    static constexpr const char* ClassRoot = "/sys/class/backlight";

    // `directory` is the device's directory, or empty for auto: the best device under `classRoot`. The
    // level lives in `storedLevel`, -1 until InitBacklightCtrl succeeds.
    BacklightClassDevice(
        std::atomic<std::int32_t>& storedLevel, std::string directory, std::string classRoot = ClassRoot);
    BacklightClassDevice(const BacklightClassDevice&) = delete;
    BacklightClassDevice& operator=(const BacklightClassDevice&) = delete;

    // Finds the device, checks that brightness and bl_power can be written, powers the light up and
    // adopts the level its brightness shows (a dark one, brightness 0, goes to full, as a register board
    // showing no duty does). 1 on success, and at once when already done; 0 when the device is missing
    // or not writable, said once on standard error with the fix. A later call tries again.
    std::int32_t InitBacklightCtrl();

    std::int32_t GetBrightness() const { return level.load(std::memory_order_relaxed); }

    // Stores `newLevel` and returns the previous level. Before a successful InitBacklightCtrl it touches
    // nothing and stores nothing. A write the device refuses is said on standard error.
    std::int32_t SetBrightness(std::int32_t newLevel);

    // The device directory in use; empty until InitBacklightCtrl found it.
    const std::string& Directory() const { return directory; }

    // The device auto chooses under `classRoot`, in the kernel's own order of preference: a firmware
    // device, then a platform one, then a raw one; by name among devices of one type. Empty when there is
    // none.
    static std::string ChooseAutomatically(const std::string& classRoot);

    // The brightness for a level 1 to 100 (and above) on a device with `maxBrightness` steps, and the
    // level a brightness shows: the nearest one, at least 1 for any brightness above 0.
    static std::int32_t BrightnessFor(std::int32_t level, std::int32_t maxBrightness);
    static std::int32_t LevelFor(std::int32_t brightness, std::int32_t maxBrightness);

    // A number from an attribute of `deviceDirectory` (such as "max_brightness"); false when it cannot
    // be read or holds no whole number.
    static bool ReadAttribute(const std::string& deviceDirectory, const char* name, std::int32_t* value);

private:
    bool CheckDevice(const std::string& candidate, std::int32_t* brightness);
    bool Write(const char* name, std::int32_t value) const;

    std::string named;
    std::string root;
    std::string directory;
    std::int32_t maxBrightness = 0;
    std::atomic<std::int32_t>& level;
};
