#include "platform/RunProgram.h"
#include "platform/TempBoard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>

TEST(Glowctl, InitialisesSetsAndReadsTheLevel)
{
    TempBoard board;
    struct Step {
        std::vector<std::string> arguments;
        const char* out;
    };
    const Step steps[] = {
        { { "init" }, "100\n" }, // a fresh board shows no duty: full
        { { "set", "50" }, "100 -> 50\n" },
        { { "get" }, "50\n" }, // the next program adopts what the hardware shows
        { { "set", "0" }, "50 -> 0\n" },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.arguments.front());
        const ProgramResult result = RunProgram(GLOWCTL_PROGRAM, step.arguments, board.Directory());
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, step.out);
    }
    EXPECT_EQ(board.Word(TimerBlock, 0x1C), 500u);
    EXPECT_EQ(board.Word(GpioBlock, 0x14) & 0x4, 0u) << "level 0 switches the power off";
}

TEST(Glowctl, RejectsBadArguments)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* message;
    };
    const Case cases[] = {
        { {}, "missing command" },
        { { "set" }, "set needs a LEVEL" },
        { { "set", "bright" }, "not a whole number" },
        { { "set", "5 0" }, "not a whole number" },
        { { "set", "101" }, "between 0 and 100" },
        { { "set", "-1" }, "between 0 and 100" },
        { { "set", "50", "60" }, "too many arguments" },
        { { "get", "50" }, "too many arguments" },
        { { "dim" }, "unknown command" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TempBoard board;
        const ProgramResult result = RunProgram(GLOWCTL_PROGRAM, c.arguments, board.Directory());
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("usage: glowctl"), std::string::npos);
        EXPECT_FALSE(board.FileExists(TimerBlock)) << "bad arguments must not initialise the backlight";
    }
}

TEST(Glowctl, HelpAndUnreachableRegisters)
{
    TempBoard board;
    const ProgramResult help = RunProgram(GLOWCTL_PROGRAM, { "--help" }, board.Directory());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("set LEVEL"), std::string::npos);

    ASSERT_EQ(mkdir(board.FilePath(TimerBlock).c_str(), 0700), 0);
    const ProgramResult get = RunProgram(GLOWCTL_PROGRAM, { "get" }, board.Directory());
    EXPECT_EQ(get.exitCode, 1);
    EXPECT_NE(get.err.find("cannot map the backlight registers"), std::string::npos) << get.err;
    EXPECT_TRUE(get.out.empty());
}

TEST(Glowctl, DrivesABacklightClassDeviceTheBoardFileNames)
{
    struct Step {
        std::vector<std::string> arguments;
        int exitCode;
        const char* out; // "DIR" stands for the test's directory
        const char* brightness;
        const char* power;
    };
    const Step steps[] = {
        { { "info" }, 0,
            "The backlight goes through the backlight class: DIR/class/panel (line 1 of DIR/board.conf).\n"
            "max_brightness 255\nbrightness 0\nactual_brightness 0\nbl_power 4\n",
            "0\n", "4\n" },
        { { "init" }, 0, "100\n", "255\n", "0\n" }, // a dark device comes up full, as a board with no duty
        { { "set", "50" }, 0, "100 -> 50\n", "128\n", "0\n" },
        { { "get" }, 0, "50\n", "128\n", "0\n" },
        { { "set", "0" }, 0, "50 -> 0\n", "0\n", "4\n" },
    };
    TempBoard board;
    const std::string device = board.MakeBacklight("panel", 255, 0, 4);
    board.WriteBoardFile("backlight = " + device + "\n");
    for (const Step& step : steps) {
        SCOPED_TRACE(step.arguments.back());
        const ProgramResult result = RunProgram(GLOWCTL_PROGRAM, step.arguments, board.Directory());
        EXPECT_EQ(result.exitCode, step.exitCode) << result.err;
        EXPECT_EQ(result.out, board.InBoard(step.out));
        EXPECT_EQ(TempBoard::ReadFile(device + "/brightness"), step.brightness);
        EXPECT_EQ(TempBoard::ReadFile(device + "/bl_power"), step.power);
    }
    EXPECT_FALSE(board.FileExists(GpioBlock) || board.FileExists(TimerBlock))
        << "no register window is mapped";

    board.WriteBoardFile("backlight = " + board.Directory() + "/class/gone\n");
    const ProgramResult gone = RunProgram(GLOWCTL_PROGRAM, { "get" }, board.Directory());
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_NE(gone.err.find("glowkit: " + board.Directory() + "/class/gone is not a backlight device"),
        gone.err.npos);
    EXPECT_NE(gone.err.find("\nglowctl: cannot reach the backlight"), gone.err.npos) << gone.err;
}
