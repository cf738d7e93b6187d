#include "tools/common/BacklightWay.h"

#include "glowkit/BacklightClassDevice.h"
#include "platform/BoardFile.h"
#include "platform/RegisterBlocks.h"
#include "tools/common/WayDescription.h"

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
