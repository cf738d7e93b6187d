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
            "is not a backlight device: DIR/class/panel/max_brightness does not exist" },
        { "a read-only device", 255, 128, 4, true, 0, -1, "128\n", "4\n",
            "cannot write DIR/class/panel/brightness: Permission denied; the deviceprobe-tools package's "
            "udev rule lets "
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
        // Root passes any file mode; as the unprivileged account (for this thread's file accesses only)
        // it meets a read-only attribute as a normal user does.
        const bool asUser = c.readOnly && geteuid() == 0;
        if (asUser && (setfsuid(65534), setfsuid(static_cast<uid_t>(-1)) != 65534))
            GTEST_SKIP() << "machine limit: root here may not change its file-system user";
        BacklightClassDevice backlight(device);
        testing::internal::CaptureStderr();
        const std::int32_t result = backlight.InitBacklightCtrl();
        if (asUser)
            setfsuid(0);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(backlight.GetBrightness(), c.level);
        EXPECT_EQ(Attribute(device, "brightness"), c.brightnessAfter);
        EXPECT_EQ(Attribute(device, "bl_power"), c.powerAfter);
        const std::string expected = board.InBoard(c.said);
        EXPECT_NE(said.find(expected), std::string::npos) << said;
        EXPECT_EQ(said.empty(), expected.empty()) << said;
    }
}

TEST(BacklightClassDevice, AutoPrefersFirmwareThenPlatformThenRaw)
{
    const std::pair<std::vector<std::pair<const char*, const char*>>, const char*> cases[] = {
        { { { "a_raw", "raw" }, { "b_platform", "platform" }, { "z_firmware", "firmware" } }, "z_firmware" },
        { { { "a_raw", "raw" }, { "b_platform", "platform" } }, "b_platform" },
        { { { "r2", "raw" }, { "r1", "raw" } }, "r1" },
        { { { "odd", "something" } }, "" },
    };
    for (const auto& [devices, chosen] : cases) {
        SCOPED_TRACE(chosen);
        TempBoard board;
        for (const auto& [name, type] : devices)
            board.MakeBacklight(name, 100, 50, 0, type);
        const std::string root = board.Directory() + "/class";
        EXPECT_EQ(BacklightClassDevice::ChooseAutomatically(root), *chosen ? root + "/" + chosen : "");
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
