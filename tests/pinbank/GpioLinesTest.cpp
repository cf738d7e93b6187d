// The GPIO library's way through the GPIO character device: against a stand-in chip, and against a real
// gpio-sim chip where the kernel offers one.

#include "pinbank/GpioLines.h"

#include "pinbank/GpioCharDevice.h"
#include "pinbank/StandInChip.h"
#include "platform/BoardFile.h"

#include <gtest/gtest.h>

#include <fstream>
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
    chip.At(0, 7) = { "", false, 1, 0, "" }; // an input the world holds high
    chip.At(1, 1).outside = 1;
    chip.At(0, 0).output = true;
    {
        GpioLines lines(
            Board("pin.54 = GPS_PWR\npin.0 = gpiochip1:1\npin.50 = gpiochip0:7\npin.1 = /dev/gpiochip0:0\n"),
            chip);
        struct Held {
            std::size_t chip;
            std::uint32_t offset;
            bool output;
            int level;
        };
        // Outputs keep the level they had; inputs are made inputs.
        const Held held[] = { { 0, 3, true, 1 }, { 1, 1, false, 1 }, { 0, 7, true, 1 }, { 0, 0, false, 0 } };
        for (const Held& h : held) {
            SCOPED_TRACE(testing::Message() << "chip " << h.chip << " line " << h.offset);
            const StandInChip::Line& line = chip.At(h.chip, h.offset);
            EXPECT_EQ(line.consumer, "pinbank");
            EXPECT_EQ(line.output, h.output);
            EXPECT_EQ(line.output ? line.driven : line.outside, h.level);
        }
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
    EXPECT_EQ(chip.At(0, 5).consumer, "gpio-keys");
}

TEST(GpioLines, APinThatCannotBeHadIsSaidOnceAndStaysOutOfReach)
{
    struct Case {
        const char* board;
        const char* said;
    };
    const Case cases[] = {
        { "pin.54 = gpiochip9:0", "pin 54 (line 1 of /b.conf): there is no GPIO chip /dev/gpiochip9" },
        { "pin.54 = gpiochip0:8", "/dev/gpiochip0 has 8 lines, so there is no line 8" },
        { "pin.54 = NOPE", "no GPIO line is named \"NOPE\"" },
        { "pin.54 = TWIN", "\"TWIN\" names 2 lines (/dev/gpiochip0:6, /dev/gpiochip1:2)" },
        { "pin.54 = gpiochip0:5", "gpiochip0 line 5 is held by \"gpio-keys\"; it stays out of reach" },
        { "pin.53 = GPS_PWR\npin.54 = gpiochip0:3",
            "pin 54 (line 2 of /b.conf): gpiochip0 line 3 \"GPS_PWR\" is pin 53's" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.board);
        StandInChip chip;
        testing::internal::CaptureStderr();
        {
            GpioLines lines(Board(c.board), chip);
            EXPECT_EQ(lines.GetInput(54), 0);
            lines.SetOutput(54, 1);
            EXPECT_EQ(chip.At(0, 5).driven + chip.At(0, 3).driven, 0)
                << "nothing is driven through a pin out of reach";
        }
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.rfind("pinbank: pin 54 (", 0), 0u) << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_EQ(said.find('\n'), said.size() - 1) << "said once: " << said;
        EXPECT_EQ(chip.OpenDescriptors(), 0u);
        EXPECT_EQ(chip.At(0, 5).consumer, "gpio-keys");
    }
}

// The kernel's gpio-sim driver makes real GPIO chips from configfs; Debian's kernels do not build it, so
// this runs only where it exists (and as root).
TEST(GpioLines, DrivesAndReadsARealGpioSimChip)
{
    const std::string root = "/sys/kernel/config/gpio-sim";
    if (access(root.c_str(), W_OK) != 0)
        GTEST_SKIP()
            << "machine limit: no writable gpio-sim in configfs (the kernel lacks the module, or not root)";
    const auto write = [](const std::string& path, const std::string& text) {
        std::ofstream file(path);
        file << text;
        return static_cast<bool>(file.flush());
    };
    const auto read = [](const std::string& path) {
        std::string text;
        std::ifstream(path) >> text;
        return text;
    };
    const std::string device = root + "/deviceprobe-" + std::to_string(getpid());
    const std::string bank = device + "/gpio-bank0";
    struct Teardown {
        std::string device, bank;
        ~Teardown()
        {
            std::ofstream(device + "/live") << "0";
            for (const std::string& dir :
                { bank + "/line5/hog", bank + "/line5", bank + "/line3", bank, device })
                rmdir(dir.c_str());
        }
    } teardown { device, bank };
    ASSERT_TRUE(mkdir(device.c_str(), 0755) == 0 && mkdir(bank.c_str(), 0755) == 0
        && write(bank + "/num_lines", "8") && mkdir((bank + "/line3").c_str(), 0755) == 0
        && write(bank + "/line3/name", "DEVICEPROBE_PWR") && mkdir((bank + "/line5").c_str(), 0755) == 0
        && mkdir((bank + "/line5/hog").c_str(), 0755) == 0 && write(bank + "/line5/hog/name", "other-driver")
        && write(bank + "/line5/hog/direction", "output-high") && write(device + "/live", "1"));
    const std::string chipName = read(bank + "/chip_name");
    const std::string lines
        = "/sys/devices/platform/" + read(device + "/dev_name") + "/" + chipName + "/sim_gpio";
    ASSERT_TRUE(write(lines + "1/pull", "pull-up"));

    testing::internal::CaptureStderr();
    GpioLines gpio(
        Board("pin.54 = DEVICEPROBE_PWR\npin.0 = " + chipName + ":1\npin.55 = " + chipName + ":5\n"),
        GpioCharDevice::Kernel());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("pin 55"), std::string::npos) << said;
    EXPECT_NE(said.find("held by \"other-driver\""), std::string::npos) << said;

    gpio.SetOutput(54, 1);
    EXPECT_EQ(read(lines + "3/value"), "1");
    gpio.SetOutput(54, 0);
    EXPECT_EQ(read(lines + "3/value"), "0");
    EXPECT_EQ(gpio.GetInput(0), 1);
    ASSERT_TRUE(write(lines + "1/pull", "pull-down"));
    EXPECT_EQ(gpio.GetInput(0), 0);
}
