#include "platform/BoardFile.h"

#include "platform/TempBoard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

// Where a board file puts a pin ("CHIP:OFFSET" or the line's name) or, for a negative pin, the backlight
// ("auto" or its directory); "" when nothing usable is named.
std::string Where(const BoardFile& board, std::int32_t pin)
{
    if (pin < 0)
        return board.BacklightWay() != BoardWay::Kernel ? ""
            : board.BacklightAuto()                     ? "auto"
                                                        : board.BacklightDirectory();
    const BoardFile::Pin* source = board.PinSource(pin);
    if (!source)
        return "";
    return source->lineName.empty() ? source->chip + ":" + std::to_string(source->offset) : source->lineName;
}

}

TEST(BoardFile, GoodLinesNameTheirPartAndABadLineTakesOutWhatItWasAbout)
{
    constexpr std::int32_t Backlight = -1;
    constexpr BoardWay R = BoardWay::Registers, K = BoardWay::Kernel, X = BoardWay::OutOfReach;
    struct Case {
        const char* text;
        BoardWay gpio, backlight;
        std::int32_t asked; // a pin, or Backlight
        const char* where;
        int badLine; // 0: no problem
        const char* said;
    };
    const std::string longName(32, 'N');
    const std::string longNameLine = "pin.54 = " + longName;
    const Case cases[] = {
        { "", R, R, 54, "", 0, "" },
        { "# a comment\n\n   \t\n", R, R, 54, "", 0, "" },
        { "pin.54 = gpiochip0:17", K, R, 54, "/dev/gpiochip0:17", 0, "" },
        { "pin.0=/dev/gpiochip1:3   # a button", K, R, 0, "/dev/gpiochip1:3", 0, "" },
        { "\xEF\xBB\xBF  pin.58 = GPS_PWR\r\n", K, R, 58, "GPS_PWR", 0, "" }, // a byte order mark, CRLF
        { "pin.54 = GPS PWR", K, R, 54, "GPS PWR", 0, "" },
        { "backlight = auto", R, K, Backlight, "auto", 0, "" },
        { "backlight = /sys/class/backlight/intel_backlight/", R, K, Backlight,
            "/sys/class/backlight/intel_backlight", 0, "" },
        { "pin.4 = GPS_PWR", K, R, 54, "", 1, "no such pin \"pin.4\"" },
        { "pin.054 = GPS_PWR\npin.-1 = X", K, R, 54, "GPS_PWR", 2, "no such pin" },
        { "pin.54 = gpiochip0:-1", K, R, 54, "", 1, "pin 54 stays out of reach" },
        { "pin.54 = :3", K, R, 54, "", 1, "give CHIP:OFFSET" },
        { "pin.54 = dev/gpiochip0:3", K, R, 54, "", 1, "give CHIP:OFFSET" },
        { "pin.54 = gpiochip0:99999999999", K, R, 54, "", 1, "give CHIP:OFFSET" },
        { "pin.54 =", K, R, 54, "", 1, "1 to 31 printable characters" },
        { longNameLine.c_str(), K, R, 54, "", 1, "1 to 31 printable characters" },
        { "pin.54 = A\npin.54 = B", K, R, 54, "", 2, "named twice (first on line 1)" },
        { "pin.54 = GPS_PWR\npins.55 = X", K, R, 54, "GPS_PWR", 2, "unknown key \"pins.55\"" },
        { "pin.54 GPS_PWR", K, R, 54, "", 1, "not a \"key = value\" line" },
        { "backlight = intel_backlight", R, X, Backlight, "", 1,
            "or auto; the backlight stays out of reach" },
        { "backlight = auto\nbacklight = /sys/x", R, X, Backlight, "", 2, "named twice" },
        { "backlight_device = /sys/x", R, X, Backlight, "", 1, "unknown key" },
        { "pin.54 = GPS_PWR\nbacklight = auto\ncolour = red # what for?", X, X, 54, "", 3,
            "nothing on the board is reachable until it is mended" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        BoardFile board;
        board.Parse("/etc/deviceprobe/board.conf", c.text);
        EXPECT_TRUE(board.Found());
        EXPECT_EQ(board.GpioWay(), c.gpio);
        EXPECT_EQ(board.BacklightWay(), c.backlight);
        EXPECT_EQ(Where(board, c.asked), c.where);
        if (c.badLine == 0) {
            EXPECT_TRUE(board.Problems().empty());
            continue;
        }
        // Said with its line number and text, by the library of the part it was about.
        const auto part = c.backlight == X ? BoardFile::Part::Backlight : BoardFile::Part::Gpio;
        const std::vector<std::string> said = board.Messages(part);
        ASSERT_EQ(said.size(), 1u);
        EXPECT_EQ(
            board.Messages(part == BoardFile::Part::Gpio ? BoardFile::Part::Backlight : BoardFile::Part::Gpio)
                .size(),
            c.gpio == X ? 1u : 0u);
        const std::string text = c.text; // the bad line is the last
        EXPECT_TRUE(said[0].starts_with("/etc/deviceprobe/board.conf line " + std::to_string(c.badLine)
            + ": \"" + text.substr(text.rfind('\n') + 1) + "\": "))
            << said[0];
        EXPECT_NE(said[0].find(c.said), std::string::npos) << said[0];
    }
}

TEST(BoardFile, OnlyAMissingDefaultFileMeansNoBoardFile)
{
    struct Case {
        bool mayBeMissing;
        void (*prepare)(const std::string& path);
        const char* said; // empty: no board file, registers as before
    };
    const Case cases[] = {
        { true, [](const std::string&) {}, "" },
        { false, [](const std::string&) {}, "No such file or directory" }, // named by DEVICEPROBE_BOARD
        { true, [](const std::string& path) { mkfifo(path.c_str(), 0600); },
            "not a regular file" }, // no block
        { true, [](const std::string& path) { TempBoard::WriteFile(path, std::string(70000, '#')); },
            "larger than 64 KiB" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        TempBoard scratch;
        const std::string path = scratch.Directory() + "/other.conf";
        c.prepare(path);
        BoardFile board;
        board.Load(path, c.mayBeMissing);
        EXPECT_EQ(board.Found(), *c.said != '\0');
        EXPECT_EQ(board.GpioWay(), *c.said ? BoardWay::OutOfReach : BoardWay::Registers);
        EXPECT_EQ(board.BacklightWay(), board.GpioWay());
        const std::vector<std::string> said = board.Messages(BoardFile::Part::Backlight);
        EXPECT_EQ(said.size(), *c.said ? 1u : 0u);
        EXPECT_TRUE(said.empty() || said.front().starts_with(path + ": " + c.said)) << said.front();
    }
}
