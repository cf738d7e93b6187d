#pragma once

#include <string>

class BoardFile;

// One sentence on the way the backlight goes, for --help, info and errors: "The backlight goes through
// the backlight class: /sys/class/backlight/panel (line 3 of /etc/deviceprobe/board.conf)."
std::string BacklightWaySentence(const BoardFile& board);

// The backlight class device the board file names, or the one "backlight = auto" takes as the library
// does; empty when auto finds none.
std::string BacklightDevice(const BoardFile& board);
