// The GPIO library's way through the GPIO character device: against a stand-in chip, and against a real
// gpio-sim chip where the kernel offers one.

#include "pinbank/GpioLines.h"

#include "pinbank/GpioCharDevice.h"
#include "pinbank/StandInChip.h"
#include "platform/BoardFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

BoardFile Board(const std::string& text)
{
    BoardFile board;
    board.Parse("/b.conf", text);
    return board;
}

}

TEST(GpioLines, RequestsTheNamedLinesAndDrivesThemAsTheRegistersWould)
{
    StandInChip chip;
    chip.At(0, 3) = { "GPS_PWR", true, 0, 1, "" }; // powered on before the library came
    chip.At(0, 7) = { "", false, 1, 0, "" }; // an input the world holds high: an output that stays high
    chip.At(1, 1).outside = 1;
    chip.At(0, 0).output = true;
    {
        GpioLines lines(
            Board("pin.54 = GPS_PWR\npin.0 = gpiochip1:1\npin.50 = gpiochip0:7\npin.1 = /dev/gpiochip0:0"),
            chip);
        EXPECT_EQ(chip.At(1, 1).consumer, "pinbank");
        EXPECT_TRUE(chip.At(0, 3).output && chip.At(0, 7).output);
        EXPECT_EQ(chip.At(0, 3).driven, 1) << "output 54 keeps the high level it had";
        EXPECT_EQ(chip.At(0, 7).driven, 1) << "output 50 takes over its line at the level it had";
        EXPECT_FALSE(chip.At(0, 0).output) << "input 1 is made an input";
        EXPECT_EQ(lines.GetInput(54), 1);
        lines.SetOutput(54, 0);
        EXPECT_EQ(chip.At(0, 3).driven, 0);
        EXPECT_EQ(lines.GetInput(54), 0);
        lines.SetOutput(54, -7);
        EXPECT_EQ(chip.At(0, 3).driven, 1) << "any non-zero level drives high";
        EXPECT_EQ(lines.GetInput(0), 1);
        chip.At(1, 1).outside = 0;
        EXPECT_EQ(lines.GetInput(0), 0);
        lines.SetOutput(0, 1);
        EXPECT_FALSE(chip.At(1, 1).output) << "an input cannot be driven";
        for (const std::int32_t pin : { 55, 4, -1 }) {
            lines.SetOutput(pin, 1);
            EXPECT_EQ(lines.GetInput(pin), 0) << "pin " << pin << " is not named, so out of reach";
        }
    }
    EXPECT_EQ(chip.OpenDescriptors(), 0u) << "every line is released with the object";
    EXPECT_EQ(chip.At(0, 3).consumer, "");
}

TEST(GpioLines, APinThatCannotBeHadIsSaidOnceAndStaysOutOfReach)
{
    const std::pair<const char*, const char*> cases[] = {
        { "pin.54 = gpiochip9:0", "pin 54 (line 1 of /b.conf): there is no GPIO chip /dev/gpiochip9" },
        { "pin.54 = gpiochip0:8", "/dev/gpiochip0 has 8 lines, so there is no line 8" },
        { "pin.54 = NOPE", "no GPIO line is named \"NOPE\"" },
        { "pin.54 = TWIN", "\"TWIN\" names 2 lines (/dev/gpiochip0:6, /dev/gpiochip1:2)" },
        { "pin.54 = gpiochip0:5", "gpiochip0 line 5 is held by \"gpio-keys\"; it stays out of reach" },
        { "pin.53 = GPS_PWR\npin.54 = gpiochip0:3",
            "pin 54 (line 2 of /b.conf): gpiochip0 line 3 \"GPS_PWR\" is pin 53's" },
    };
    for (const auto& [board, expected] : cases) {
        SCOPED_TRACE(board);
        StandInChip chip;
        testing::internal::CaptureStderr();
        {
            GpioLines lines(Board(board), chip);
            EXPECT_EQ(lines.GetInput(54), 0);
            lines.SetOutput(54, 1);
            EXPECT_EQ(chip.At(0, 5).driven + chip.At(0, 3).driven, 0)
                << "nothing is driven through a pin out of reach";
        }
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.rfind("pinbank: pin 54 (", 0), 0u) << said;
        EXPECT_NE(said.find(expected), std::string::npos) << said;
        EXPECT_EQ(said.find('\n'), said.size() - 1) << "said once: " << said;
        EXPECT_EQ(chip.OpenDescriptors(), 0u);
        EXPECT_EQ(chip.At(0, 5).consumer, "gpio-keys");
    }
}

// The kernel's gpio-sim driver makes real GPIO chips from configfs; Debian's kernels do not build it.
TEST(GpioLines, DrivesAndReadsARealGpioSimChip)
{
    const std::string device = "/sys/kernel/config/gpio-sim/deviceprobe-" + std::to_string(getpid());
    const std::string bank = device + "/gpio-bank0";
    if (mkdir(device.c_str(), 0755) != 0)
        GTEST_SKIP()
            << "machine limit: no gpio-sim in configfs here (kernel without the module, or not root)";
    const auto write
        = [](const std::string& path, const std::string& text) { return !!(std::ofstream(path) << text); };
    const auto read = [](const std::string& path) {
        std::string text;
        std::ifstream(path) >> text;
        return text;
    };
    const std::unique_ptr<const std::string, void (*)(const std::string*)> teardown(
        &device, [](const std::string* at) {
            std::ofstream(*at + "/live") << "0";
            for (const char* dir :
                { "/gpio-bank0/line5/hog", "/gpio-bank0/line5", "/gpio-bank0/line3", "/gpio-bank0", "" })
                rmdir((*at + dir).c_str());
        });
    ASSERT_TRUE(mkdir(bank.c_str(), 0755) == 0 && write(bank + "/num_lines", "8")
        && mkdir((bank + "/line3").c_str(), 0755) == 0 && write(bank + "/line3/name", "DEVICEPROBE_PWR")
        && mkdir((bank + "/line5").c_str(), 0755) == 0 && mkdir((bank + "/line5/hog").c_str(), 0755) == 0
        && write(bank + "/line5/hog/name", "other-driver")
        && write(bank + "/line5/hog/direction", "output-high") && write(device + "/live", "1"));
    const std::string chip = read(bank + "/chip_name");
    const std::string sim = "/sys/devices/platform/" + read(device + "/dev_name") + "/" + chip + "/sim_gpio";
    ASSERT_TRUE(write(sim + "1/pull", "pull-up"));

    testing::internal::CaptureStderr();
    GpioLines gpio(Board("pin.54 = DEVICEPROBE_PWR\npin.0 = " + chip + ":1\npin.55 = " + chip + ":5"),
        GpioCharDevice::Kernel());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(
        said.find("pin 55 (line 3 of /b.conf): " + chip + " line 5 is held by \"other-driver\""), said.npos)
        << said;
    gpio.SetOutput(54, 1);
    EXPECT_EQ(read(sim + "3/value"), "1");
    gpio.SetOutput(54, 0);
    EXPECT_EQ(read(sim + "3/value"), "0");
    EXPECT_EQ(gpio.GetInput(0), 1);
    ASSERT_TRUE(write(sim + "1/pull", "pull-down"));
    EXPECT_EQ(gpio.GetInput(0), 0);
}
