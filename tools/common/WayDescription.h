#pragma once

#include "pinbank/GpioLineFinder.h"

#include <cstdint>
#include <string>

class BoardFile;

// What the tools say about the way a block of the board goes and where, from the same board file and
// environment the libraries read; the C API has no way to ask the libraries.

// "the board file /etc/deviceprobe/board.conf", or "no board file at /etc/deviceprobe/board.conf".
std::string BoardFileText(const BoardFile& board);

// Where a register block comes from: "the simulated board in /run/user/1000/regwin", or "physical
// address 0xfe200000 through /dev/mem (REGWIN_PHYS_92100000)".
std::string RegisterBlockText(std::uint32_t platformAddress);

// "line 4 of /etc/deviceprobe/board.conf".
std::string BoardLineText(const BoardFile& board, int lineNumber);

// One sentence on the way the pins go, and one on the way the backlight goes, for --help, info and
// errors: "The pins go through the GPIO character device, on the lines the board file ... names."
std::string GpioWaySentence(const BoardFile& board);
std::string BacklightWaySentence(const BoardFile& board);

// The backlight class device the board file names, or the one "backlight = auto" takes as the library
// does; empty when auto finds none.
std::string BacklightDevice(const BoardFile& board);

// Whether libpinbank, loaded in this process, holds the line of `pin`: it requests every line the board
// file names when it is loaded, and says on standard error why one failed; a line held by "pinbank" is
// ours. False with a sentence for the user in *problem ("pin 54 (line 2 of PATH) is out of reach: ...").
bool HeldPinLine(const BoardFile& board, std::int32_t pin, GpioLineFinder& finder, GpioLineFinder::Line* line,
    std::string* problem);
