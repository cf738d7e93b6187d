#include "tools/common/WayDescription.h"

#include "glowkit/BacklightClassDevice.h"
#include "pinbank/LineRequest.h"
#include "platform/BoardDirectory.h"
#include "platform/BoardFile.h"
#include "platform/RegisterBlocks.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace {

// Where the board file sends the backlight: "DIR (line N of PATH)" or the auto choice.
std::string BacklightDeviceText(const BoardFile& board)
{
    const std::string line = BoardLineText(board, board.BacklightLine());
    if (!board.BacklightAuto())
        return board.BacklightDirectory() + " (" + line + ")";
    const std::string chosen = BacklightDevice(board);
    return (chosen.empty() ? std::string("no device in ") + BacklightClassDevice::ClassRoot : chosen)
        + " (chosen by \"backlight = auto\", " + line + ")";
}

}

std::string BoardFileText(const BoardFile& board)
{
    return board.Found() ? "the board file " + board.Path() : "no board file at " + board.Path();
}

std::string RegisterBlockText(std::uint32_t platformAddress)
{
    char variable[32];
    std::snprintf(variable, sizeof variable, "REGWIN_PHYS_%08" PRIx32, platformAddress);
    if (const char* physical = secure_getenv(variable))
        return std::string("physical address ") + physical + " through /dev/mem (" + variable + ")";
    return "the simulated board in " + BoardDirectoryPath();
}

std::string BoardLineText(const BoardFile& board, int lineNumber)
{
    return "line " + std::to_string(lineNumber) + " of " + board.Path();
}

std::string GpioWaySentence(const BoardFile& board)
{
    switch (board.GpioWay()) {
    case BoardWay::Registers:
        return "The pins go through register windows: " + RegisterBlockText(GpioBlockAddress) + " ("
            + BoardFileText(board) + (board.Found() ? " names no pin" : "") + ").";
    case BoardWay::Kernel:
        return "The pins go through the GPIO character device, on the lines " + BoardFileText(board)
            + " names.";
    case BoardWay::OutOfReach:
        break;
    }
    return "No pin is reachable: " + BoardFileText(board) + " cannot be used as it is (pinbank says why).";
}

std::string BacklightWaySentence(const BoardFile& board)
{
    switch (board.BacklightWay()) {
    case BoardWay::Registers:
        return "The backlight goes through register windows: " + RegisterBlockText(GpioBlockAddress) + " ("
            + BoardFileText(board) + (board.Found() ? " names no backlight" : "") + ").";
    case BoardWay::Kernel:
        return "The backlight goes through the backlight class: " + BacklightDeviceText(board) + ".";
    case BoardWay::OutOfReach:
        break;
    }
    return "The backlight is out of reach: " + BoardFileText(board)
        + " cannot be used as it is (glowkit says why).";
}

std::string BacklightDevice(const BoardFile& board)
{
    return board.BacklightAuto() ? BacklightClassDevice::ChooseAutomatically(BacklightClassDevice::ClassRoot)
                                 : board.BacklightDirectory();
}

bool HeldPinLine(const BoardFile& board, std::int32_t pin, GpioLineFinder& finder, GpioLineFinder::Line* line,
    std::string* problem)
{
    const BoardFile::Pin* source = board.PinSource(pin);
    if (!source) {
        *problem = "pin " + std::to_string(pin) + " is out of reach: " + BoardFileText(board)
            + " sends the pins to the GPIO character device and does not name it (add pin."
            + std::to_string(pin) + " = CHIP:OFFSET or LINE-NAME)";
        return false;
    }
    std::string why;
    if (finder.Find(*source, line, &why) && line->used && line->consumer == LineRequest::Consumer)
        return true;
    if (why.empty() && line->used)
        why = GpioLineFinder::Describe(*line) + " is held by \"" + line->consumer + "\"";
    else if (why.empty())
        why = GpioLineFinder::Describe(*line) + " could not be requested (pinbank said why when loaded)";
    *problem = "pin " + std::to_string(pin) + " (" + BoardLineText(board, source->lineNumber)
        + ") is out of reach: " + why;
    return false;
}
