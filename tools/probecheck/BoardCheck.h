#pragma once

#include "platform/BoardFile.h"
#include "tools/probecheck/Check.h"
#include "tools/probecheck/WindowReader.h"

// A check of the board through one of the device libraries. gpio and backlight share the board (output
// 54 is the backlight's power enable), so they never run at the same time. The board file, read as the
// libraries read it, decides the way: register windows, the kernel's interface for the check's part of
// the board (the GPIO character device or the backlight class), or out of reach, which the check cannot
// run with.
class BoardCheck : public Check {
public:
    static constexpr const char* BoardResource = "board";

    // `kernelKind` names the kernel's way in the record: "gpio-chardev" or "backlight-class".
    BoardCheck(BoardFile::Part boardPart, const char* kernelKind)
        : part(boardPart)
        , kernelWay(kernelKind)
    {
    }

    // Reads the board file. A named board (--device, only for register windows) is set for the whole
    // process before any check runs, for the libraries to find.
    std::string Prepare(CheckRecord& record) override;
    std::string Resource() const override { return BoardResource; }

protected:
    BoardWay Way() const { return part == BoardFile::Part::Gpio ? board.GpioWay() : board.BacklightWay(); }
    // "Here: " and the way sentence, for the end of --help.
    std::string HelpHere() const;

    BoardFile board;

private:
    BoardFile::Part part;
    const char* kernelWay;
};
