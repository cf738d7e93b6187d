#pragma once

#include "pinbank/GpioLineFinder.h"

#include <cstdint>
#include <string>

class BoardFile;

// One sentence on the way the pins go, for --help, info and errors: "The pins go through the GPIO
// character device, on the lines the board file /etc/deviceprobe/board.conf names."
std::string GpioWaySentence(const BoardFile& board);

// Whether libpinbank, loaded in this process, holds the line of `pin`: it requests every line the board
// file names when it is loaded, and says on standard error why one failed; a line held by "pinbank" is
// ours. False with a sentence for the user in *problem ("pin 54 (line 2 of PATH) is out of reach: ...").
bool HeldPinLine(const BoardFile& board, std::int32_t pin, GpioLineFinder& finder, GpioLineFinder::Line* line,
    std::string* problem);
