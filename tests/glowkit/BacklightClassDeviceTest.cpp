// The backlight library's way through the backlight class, against directories laid out as
// /sys/class/backlight/<name>/.

#include "glowkit/BacklightClassDevice.h"

#include "platform/TempBoard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Attribute(const std::string& device, const char* name)
{
    return TempBoard::ReadFile(device + "/" + name);
}

// For as long as it lives, this thread's file accesses are checked as the unprivileged account's, so a
// read-only attribute refuses root as it refuses a normal user. False from Works() where root may not
// change its file-system user.
class UnprivilegedFiles {
public:
    explicit UnprivilegedFiles(bool wanted)
        : changed(wanted && geteuid() == 0)
    {
        if (changed)
            setfsuid(65534);
    }
    UnprivilegedFiles(const UnprivilegedFiles&) = delete;
    UnprivilegedFiles& operator=(const UnprivilegedFiles&) = delete;
    ~UnprivilegedFiles()
    {
        if (changed)
            setfsuid(0);
    }
    bool Works() const { return !changed || setfsuid(static_cast<uid_t>(-1)) == 65534; }

private:
    bool changed;
};

}

TEST(BacklightClassDevice, LevelsPowerTheLightAndScaleOntoItsSteps)
{
    struct Step {
        std::int32_t level;
        std::int32_t previous;
        const char* brightness; // the whole attribute, as written
        const char* power;
    };
    const Step steps[] = {
        { 100, 50, "255\n", "0\n" },
        { 0, 100, "0\n", "4\n" },
        { 1, 0, "3\n", "0\n" }, // 2.55 rounds to 3, written over "255" whole
        { 50, 1, "128\n", "0\n" }, // 127.5: halves go up
        { 99, 50, "252\n", "0\n" },
        { 150, 99, "255\n", "0\n" },
        { 0, 150, "0\n", "4\n" },
        { -5, 0, "0\n", "0\n" }, // powered up, brightness left alone, as the register way leaves the duty
        { 7000, -5, "255\n", "0\n" },
    };
    TempBoard board;
    const std::string device = board.MakeBacklight("panel", 255, 128);
    BacklightClassDevice backlight(device);
    EXPECT_EQ(backlight.SetBrightness(30), -1) << "nothing before init";
    EXPECT_EQ(Attribute(device, "brightness"), "128\n");
    ASSERT_EQ(backlight.InitBacklightCtrl(), 1);
    EXPECT_EQ(backlight.GetBrightness(), 50) << "128 of 255 is adopted as 50";
    EXPECT_EQ(Attribute(device, "brightness"), "128\n");
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << step.previous << " -> " << step.level);
        EXPECT_EQ(backlight.SetBrightness(step.level), step.previous);
        EXPECT_EQ(backlight.GetBrightness(), step.level);
        EXPECT_EQ(Attribute(device, "brightness"), step.brightness);
        EXPECT_EQ(Attribute(device, "bl_power"), step.power);
    }
}

TEST(BacklightClassDevice, RoundsToTheNearestStepAndNeverDarkensALevelAboveZero)
{
    struct Case {
        std::int32_t maxBrightness, level, brightness, adopted;
    };
    const Case cases[] = {
        { 255, 1, 3, 1 },
        { 255, 50, 128, 50 },
        { 255, 100, 255, 100 },
        { 7, 1, 1, 14 },
        { 7, 50, 4, 57 },
        { 7, 99, 7, 100 },
        { 1, 1, 1, 100 },
        { 1, 100, 1, 100 },
        { 120000, 1, 1200, 1 },
        { 120000, 33, 39600, 33 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level << " of max " << c.maxBrightness);
        EXPECT_EQ(BacklightClassDevice::BrightnessFor(c.level, c.maxBrightness), c.brightness);
        EXPECT_EQ(BacklightClassDevice::LevelFor(c.brightness, c.maxBrightness), c.adopted);
    }
    // With at least 100 steps the next program adopts exactly the level that was set.
    for (const std::int32_t steps : { 100, 255, 937, 120000 }) {
        for (std::int32_t level = 1; level <= 100; ++level) {
            const std::int32_t brightness = BacklightClassDevice::BrightnessFor(level, steps);
            ASSERT_GE(brightness, 1);
            ASSERT_EQ(BacklightClassDevice::LevelFor(brightness, steps), level) << "max " << steps;
        }
    }
}

TEST(BacklightClassDevice, InitAdoptsWhatTheDeviceShowsOrSaysWhyItCannot)
{
    struct Case {
        const char* what;
        int maxBrightness, brightness, power; // the device before init; max 0: no device at all
        bool readOnly; // brightness cannot be written by the caller
        std::int32_t result, level;
        const char* brightnessAfter;
        const char* powerAfter;
        const char* said;
    };
    const Case cases[] = {
        { "dark and powered down: full", 255, 0, 4, false, 1, 100, "255\n", "0\n", "" },
        { "lit but powered down: its level, powered up", 255, 128, 4, false, 1, 50, "128\n", "0\n", "" },
        { "one step above dark: the lowest level, not full", 255, 1, 0, false, 1, 1, "1\n", "0\n", "" },
        { "a missing device", 0, 0, 0, false, 0, -1, "", "",
            "is not a backlight device: DIR/max_brightness does not exist" },
        { "a read-only device", 255, 128, 4, true, 0, -1, "128\n", "4\n",
            "cannot write DIR/brightness: Permission denied; the deviceprobe-tools package's udev rule lets "
            "the video "
            "group write it" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempBoard board;
        const std::string device = c.maxBrightness
            ? board.MakeBacklight("panel", c.maxBrightness, c.brightness, c.power)
            : board.Directory() + "/class/panel";
        if (c.readOnly) {
            ASSERT_EQ(chmod(device.c_str(), 0755) | chmod(board.Directory().c_str(), 0711), 0);
            ASSERT_EQ(chmod((device + "/brightness").c_str(), 0444), 0);
        }
        BacklightClassDevice backlight(device);
        testing::internal::CaptureStderr();
        std::int32_t result;
        {
            const UnprivilegedFiles asUser(c.readOnly);
            if (!asUser.Works()) {
                testing::internal::GetCapturedStderr();
                GTEST_SKIP() << "machine limit: root here may not change its file-system user";
            }
            result = backlight.InitBacklightCtrl();
        }
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(backlight.GetBrightness(), c.level);
        EXPECT_EQ(Attribute(device, "brightness"), c.brightnessAfter);
        EXPECT_EQ(Attribute(device, "bl_power"), c.powerAfter);
        std::string expected = c.said;
        if (const auto at = expected.find("DIR"); at != std::string::npos)
            expected.replace(at, 3, device);
        EXPECT_NE(said.find(expected), std::string::npos) << said;
        EXPECT_EQ(said.empty(), expected.empty()) << said;
    }
}

TEST(BacklightClassDevice, AutoPrefersFirmwareThenPlatformThenRaw)
{
    struct Device {
        const char* name;
        const char* type;
    };
    struct Case {
        std::vector<Device> devices;
        const char* chosen; // empty: none
    };
    const Case cases[] = {
        { { { "a_raw", "raw" }, { "b_platform", "platform" }, { "z_firmware", "firmware" } }, "z_firmware" },
        { { { "a_raw", "raw" }, { "b_platform", "platform" } }, "b_platform" },
        { { { "r2", "raw" }, { "r1", "raw" } }, "r1" },
        { { { "odd", "something" } }, "" },
        { {}, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        TempBoard board;
        for (const Device& device : c.devices)
            board.MakeBacklight(device.name, 100, 50, 0, device.type);
        const std::string root = board.Directory() + "/class";
        EXPECT_EQ(BacklightClassDevice::ChooseAutomatically(root), *c.chosen ? root + "/" + c.chosen : "");
    }
    TempBoard board;
    BacklightClassDevice none("", board.Directory() + "/class");
    testing::internal::CaptureStderr();
    EXPECT_EQ(none.InitBacklightCtrl(), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no backlight device in"), std::string::npos);
    board.MakeBacklight("late", 100, 40, 0, "firmware");
    EXPECT_EQ(none.InitBacklightCtrl(), 1) << "a later init finds a device that appeared";
    EXPECT_EQ(none.GetBrightness(), 40);
}
