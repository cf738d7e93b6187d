#include "tools/common/WayDescription.h"

#include "platform/BoardDirectory.h"
#include "platform/BoardFile.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

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
