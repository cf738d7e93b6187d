#include "tools/common/GpioWay.h"

#include "pinbank/LineRequest.h"
#include "platform/BoardFile.h"
#include "platform/RegisterBlocks.h"
#include "tools/common/WayDescription.h"

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
