#include "platform/RunProgram.h"
#include "platform/TempBoard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>

TEST(Pinctl, DrivesAndReadsPinsOnTheBoard)
{
    TempBoard board;
    ProgramResult set = RunProgram(PINCTL_PROGRAM, { "set", "54", "1" }, board.Directory());
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(board.Word(GpioBlock, 0x10), 0x10u);
    EXPECT_EQ(board.Word(GpioBlock, 0x14), 0x4u);

    ProgramResult get = RunProgram(PINCTL_PROGRAM, { "get", "54" }, board.Directory());
    EXPECT_EQ(get.exitCode, 0) << get.err;
    EXPECT_EQ(get.out, "1\n");

    board.SetWord(GpioBlock, 0x54, 0x80);
    get = RunProgram(PINCTL_PROGRAM, { "get", "3" }, board.Directory());
    EXPECT_EQ(get.out, "1\n");
}

TEST(Pinctl, RejectsBadArgumentsWithoutTouchingRegisters)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* message;
    };
    const Case cases[] = {
        { {}, "missing command" },
        { { "get" }, "get needs a PIN" },
        { { "get", "54", "1" }, "too many arguments" },
        { { "get", "five" }, "not a whole number" },
        { { "get", "54x" }, "not a whole number" },
        { { "get", "" }, "not a whole number" },
        { { "get", "4" }, "no such pin" },
        { { "get", "-1" }, "no such pin" },
        { { "get", "99999999999" }, "not a whole number" },
        { { "set", "54" }, "set needs a PIN and a LEVEL" },
        { { "set", "2", "1" }, "inputs" },
        { { "set", "59", "1" }, "no such output pin" },
        { { "set", "54", "high" }, "LEVEL must be 0 or 1" },
        { { "set", "54", "2" }, "LEVEL must be 0 or 1" },
        { { "toggle", "54" }, "unknown command" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TempBoard board;
        const ProgramResult result = RunProgram(PINCTL_PROGRAM, c.arguments, board.Directory());
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("usage: pinctl"), std::string::npos);
        EXPECT_TRUE(result.out.empty());
    }
}

TEST(Pinctl, HelpGoesToStandardOutput)
{
    TempBoard board;
    const ProgramResult help = RunProgram(PINCTL_PROGRAM, { "--help" }, board.Directory());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("set PIN LEVEL"), std::string::npos);
    EXPECT_TRUE(help.err.empty());
}

TEST(Pinctl, UnreachableRegistersAreAnErrorNotALowLine)
{
    // Made before the tool runs: the library maps the window as soon as it is loaded.
    TempBoard board;
    ASSERT_EQ(mkdir(board.FilePath(GpioBlock).c_str(), 0700), 0);
    const ProgramResult get = RunProgram(PINCTL_PROGRAM, { "get", "54" }, board.Directory());
    EXPECT_EQ(get.exitCode, 1) << "a low reading must not hide unreachable registers";
    EXPECT_NE(get.err.find("cannot map the GPIO registers"), std::string::npos) << get.err;
    EXPECT_TRUE(get.out.empty());
}

TEST(Pinctl, SaysWhichWayThePinsGoAndWhyOneIsOutOfReach)
{
    struct Case {
        const char* board; // "DIR" stands for the test's directory
        std::vector<std::string> arguments;
        int exitCode;
        const char* out;
        const char* err;
    };
    const Case cases[] = {
        { "", { "info" }, 0,
            "The pins go through register windows: the simulated board in DIR (the board file", "" },
        { "pin.54 = DIR/gpiochip0:3", { "get", "54" }, 1, "",
            "pinctl: pin 54 (line 1 of DIR/board.conf) is out of reach: there is no GPIO chip "
            "DIR/gpiochip0" },
        { "pin.54 = DIR/gpiochip0:3", { "info" }, 0,
            "pin 54  output  out of reach: there is no GPIO chip DIR/gpiochip0", "" },
        { "pin.54 = DIR/gpiochip0:3", { "set", "55", "1" }, 1, "", "does not name it (add pin.55 =" },
        { "colour = red", { "get", "0" }, 1, "",
            "pinctl: no pin is reachable: the board file DIR/board.conf" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.board + (" " + c.arguments.front()));
        TempBoard board;
        board.WriteBoardFile(board.InBoard(c.board));
        const ProgramResult result = RunProgram(PINCTL_PROGRAM, c.arguments, board.Directory());
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_NE(result.out.find(board.InBoard(c.out)), std::string::npos) << result.out;
        EXPECT_NE(result.err.find(board.InBoard(c.err)), std::string::npos) << result.err;
        EXPECT_EQ(board.FileExists(GpioBlock), *c.board == '\0')
            << "a board file that names pins keeps the register window unmapped";
    }
}
