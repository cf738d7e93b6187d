#include "tools/probecheck/BoardCheck.h"

#include "tools/common/BacklightWay.h"
#include "tools/common/GpioWay.h"
#include "tools/common/WayDescription.h"
#include "tools/probecheck/CheckRecord.h"

std::string BoardCheck::Prepare(CheckRecord& record)
{
    board.Load();
    if (board.Found())
        record.boardFile = board.Path();
    const BoardWay way = Way();
    record.deviceKind = way == BoardWay::Registers ? "registers"
        : way == BoardWay::Kernel                  ? kernelWay
                                                   : "out of reach";
    // The board's directory, when one was given, is no place of the kernel's ways.
    if (way != BoardWay::Registers)
        record.devicePath.clear();
    std::string error;
    switch (way) {
    case BoardWay::Registers:
        if (!device.empty() && !WindowReader::UseBoardDirectory(device, &error))
            return error;
        return {};
    case BoardWay::Kernel:
        // A simulated board cannot stand in for what the board file names: the libraries would not look.
        if (!device.empty())
            return "--device names a simulated board, but " + BoardFileText(board) + " sends "
                + (part == BoardFile::Part::Gpio ? "the pins" : "the backlight")
                + " elsewhere; leave --device out";
        return {};
    case BoardWay::OutOfReach:
        break;
    }
    for (const std::string& message : board.Messages(part))
        error += (error.empty() ? "" : "; ") + message;
    return (part == BoardFile::Part::Gpio ? "no pin is reachable: " : "the backlight is out of reach: ")
        + error;
}

std::string BoardCheck::HelpHere() const
{
    BoardFile here;
    here.Load();
    return "\nHere: " + (part == BoardFile::Part::Gpio ? GpioWaySentence(here) : BacklightWaySentence(here))
        + "\n";
}
