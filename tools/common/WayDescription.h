#pragma once

#include <cstdint>
#include <string>

class BoardFile;

// What the tools say about the way to the board and where, from the same board file and environment
// the libraries read; the C API has no way to ask the libraries. GpioWay.h and BacklightWay.h add each
// part's sentences, apart so that a tool links only the library core it speaks of.

// "the board file /etc/deviceprobe/board.conf", or "no board file at /etc/deviceprobe/board.conf".
std::string BoardFileText(const BoardFile& board);

// Where a register block comes from: "the simulated board in /run/user/1000/regwin", or "physical
// address 0xfe200000 through /dev/mem (REGWIN_PHYS_92100000)".
std::string RegisterBlockText(std::uint32_t platformAddress);

// "line 4 of /etc/deviceprobe/board.conf".
std::string BoardLineText(const BoardFile& board, int lineNumber);
