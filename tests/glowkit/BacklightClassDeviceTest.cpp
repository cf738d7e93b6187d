// The backlight library's way through the backlight class, against directories laid out as
// /sys/class/backlight/<name>/.

#include "glowkit/BacklightClassDevice.h"

#include "platform/TempBoard.h"

#include <gtest/gtest.h>

#include <atomic>
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

TEST(BacklightClassDevice, LevelsScaleOntoTheStepsAndPowerTheLight)
{
    struct Case {
        const char* what;
        int maxBrightness, brightness, power; // the device before init; max 0: no device at all
        bool readOnly; // brightness cannot be written by the caller
        std::int32_t adopted, level; // adopted -1: init fails
        const char* brightnessAfter; // the whole attribute, as written
        const char* powerAfter;
        const char* said;
    };
    const Case cases[] = {
        { "128 of 255 is adopted as 50", 255, 128, 0, false, 50, 50, "128\n", "0\n", "" },
        { "dark and powered down comes up full", 255, 0, 4, false, 100, 100, "255\n", "0\n", "" },
        { "lit but powered down is powered up at its level", 255, 128, 4, false, 50, 50, "128\n", "0\n", "" },
        { "one step above dark is level 1, not full", 255, 1, 0, false, 1, 1, "1\n", "0\n", "" },
        { "2.55 rounds to 3, written whole over 255", 255, 255, 0, false, 100, 1, "3\n", "0\n", "" },
        { "127.5: halves go up", 255, 255, 0, false, 100, 50, "128\n", "0\n", "" },
        { "above 100 gives max_brightness", 255, 128, 0, false, 50, 150, "255\n", "0\n", "" },
        { "0 powers down", 255, 128, 0, false, 50, 0, "0\n", "4\n", "" },
        { "a negative level leaves brightness, as registers leave the duty", 255, 9, 0, false, 4, -5, "9\n",
            "0\n", "" },
        { "1 of 7 steps is never dark", 7, 7, 0, false, 100, 1, "1\n", "0\n", "" },
        { "4 of 7 is adopted as 57", 7, 4, 0, false, 57, 57, "4\n", "0\n", "" },
        { "33 of 120000", 120000, 120000, 0, false, 100, 33, "39600\n", "0\n", "" },
        { "a missing device", 0, 0, 0, false, -1, 50, "", "",
            "is not a backlight device: DIR/class/panel/max_brightness does not exist" },
        { "a read-only device", 255, 128, 4, true, -1, 50, "128\n", "4\n",
            "cannot write DIR/class/panel/brightness: Permission denied; the deviceprobe-tools package's "
            "udev rule "
            "lets the video group write it" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempBoard board;
        const std::string device = c.maxBrightness
            ? board.MakeBacklight("panel", c.maxBrightness, c.brightness, c.power)
            : board.Directory() + "/class/panel";
        if (c.readOnly) {
            ASSERT_EQ(
                chmod(board.Directory().c_str(), 0711) | chmod((device + "/brightness").c_str(), 0444), 0);
        }
        // Root passes any file mode; as the unprivileged account (for this thread's file accesses only)
        // it meets a read-only attribute as a normal user does.
        const bool asUser = c.readOnly && geteuid() == 0;
        if (asUser && (setfsuid(65534), setfsuid(static_cast<uid_t>(-1)) != 65534))
            GTEST_SKIP() << "machine limit: root here may not change its file-system user";
        std::atomic<std::int32_t> level { -1 };
        BacklightClassDevice backlight(level, device);
        EXPECT_EQ(backlight.SetBrightness(30), -1) << "nothing is stored or written before init";
        testing::internal::CaptureStderr();
        const std::int32_t result = backlight.InitBacklightCtrl();
        if (asUser)
            setfsuid(0);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, c.adopted < 0 ? 0 : 1);
        EXPECT_EQ(backlight.GetBrightness(), c.adopted);
        EXPECT_EQ(backlight.SetBrightness(c.level), c.adopted);
        EXPECT_EQ(backlight.GetBrightness(), c.adopted < 0 ? -1 : c.level);
        EXPECT_EQ(Attribute(device, "brightness"), c.brightnessAfter);
        EXPECT_EQ(Attribute(device, "bl_power"), c.powerAfter);
        EXPECT_NE(said.find(board.InBoard(c.said)), std::string::npos) << said;
        EXPECT_EQ(said.empty(), *c.said == '\0') << said;
    }
    // With at least 100 steps, the next program adopts exactly the level that was set.
    for (const std::int32_t steps : { 100, 255, 937, 120000 }) {
        for (std::int32_t level = 1; level <= 100; ++level)
            ASSERT_EQ(
                BacklightClassDevice::LevelFor(BacklightClassDevice::BrightnessFor(level, steps), steps),
                level);
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
    std::atomic<std::int32_t> level { -1 };
    BacklightClassDevice none(level, "", board.Directory() + "/class");
    testing::internal::CaptureStderr();
    EXPECT_EQ(none.InitBacklightCtrl(), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no backlight device in"), std::string::npos);
    board.MakeBacklight("late", 100, 40, 0, "firmware");
    EXPECT_EQ(none.InitBacklightCtrl(), 1) << "a later init finds a device that appeared";
    EXPECT_EQ(none.GetBrightness(), 40);
}
