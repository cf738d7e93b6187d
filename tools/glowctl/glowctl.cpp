// glowctl: initialises the display backlight and reads or sets its level through libglowkit, the way
// any program would.

#include "glowkit/BacklightClassDevice.h"
#include "glowkit/glowkit.h"
#include "platform/BoardFile.h"
#include "tools/common/BacklightWay.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitNoRegisters = 1;
constexpr int ExitUsage = 2;

constexpr std::int32_t LowestLevel = 0;
constexpr std::int32_t HighestLevel = 100;

constexpr const char* Usage = "usage: glowctl init\n"
                              "       glowctl get\n"
                              "       glowctl set LEVEL\n"
                              "       glowctl info\n"
                              "       glowctl --help\n";

constexpr const char* Help
    = "Controls the display backlight through libglowkit. Every command but 'info' initialises the\n"
      "backlight first, as every program using the library does: it is powered on and the level it\n"
      "shows is adopted (with registers, the timer is started too). So even 'get' switches a\n"
      "backlight that was off (level 0) back on; 'info', and 'devsim board' for the simulated\n"
      "board, look without touching it.\n"
      "\n"
      "  init       initialise and print the adopted level\n"
      "  get        initialise (switching the backlight on) and print the level\n"
      "  set LEVEL  initialise, then set LEVEL (0 off, 1-99 dimmed, 100 full); prints \"OLD -> LEVEL\"\n"
      "  info       say which way the backlight goes and where, touching nothing\n"
      "\n"
      "When the board file (/etc/deviceprobe/board.conf, or $DEVICEPROBE_BOARD) names a backlight\n"
      "(backlight = DIR or auto), it goes through the kernel's backlight class: level 0 powers it\n"
      "down, 1-100 power it up and set brightness to the level scaled onto max_brightness.\n"
      "Otherwise registers come from the simulated board in $REGWIN_DIR unless\n"
      "REGWIN_PHYS_92100000 and REGWIN_PHYS_91a00000 name their physical addresses (both: with\n"
      "only one set, the other block is refused rather than simulated). Exit status: 0 done,\n"
      "1 registers or backlight device out of reach, 2 bad arguments.\n";

bool ParseInt(const char* text, std::int32_t* value)
{
    const char* end = text + std::strlen(text);
    const auto [next, error] = std::from_chars(text, end, *value);
    return *text && error == std::errc() && next == end;
}

int UsageError(const char* message, const char* argument)
{
    std::fprintf(stderr, "glowctl: %s", message);
    if (argument)
        std::fprintf(stderr, ": '%s'", argument);
    std::fprintf(stderr, "\n%s", Usage);
    return ExitUsage;
}

bool Initialise()
{
    if (InitBacklightCtrl() == 1)
        return true;
    BoardFile board;
    board.Load();
    if (board.BacklightWay() == BoardWay::Registers) {
        std::fprintf(stderr,
            "glowctl: cannot map the backlight registers (check REGWIN_DIR or REGWIN_PHYS_92100000 "
            "and REGWIN_PHYS_91a00000)\n");
    } else {
        std::fprintf(
            stderr, "glowctl: cannot reach the backlight. %s\n", BacklightWaySentence(board).c_str());
    }
    return false;
}

int Info()
{
    BoardFile board;
    board.Load();
    std::printf("%s\n", BacklightWaySentence(board).c_str());
    const std::string device = BacklightDevice(board);
    if (board.BacklightWay() != BoardWay::Kernel || device.empty())
        return ExitOk;
    for (const char* attribute : { "max_brightness", "brightness", "actual_brightness", "bl_power" }) {
        std::int32_t value = 0;
        if (BacklightClassDevice::ReadAttribute(device, attribute, &value))
            std::printf("%s %d\n", attribute, value);
        else
            std::printf("%s unreadable: %s\n", attribute, std::strerror(errno));
    }
    return ExitOk;
}

int Set(const char* levelText)
{
    std::int32_t level = 0;
    if (!ParseInt(levelText, &level))
        return UsageError("LEVEL is not a whole number", levelText);
    if (level < LowestLevel || level > HighestLevel)
        return UsageError("LEVEL must be between 0 and 100", levelText);
    if (!Initialise())
        return ExitNoRegisters;
    const std::int32_t old = SetBrightness(level);
    std::printf("%d -> %d\n", old, level);
    return ExitOk;
}

}

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        BoardFile board;
        board.Load();
        std::printf("%s\n%s\nHere: %s\n", Usage, Help, BacklightWaySentence(board).c_str());
        return ExitOk;
    }
    if (argc < 2)
        return UsageError("missing command", nullptr);
    const char* command = argv[1];
    if (std::strcmp(command, "init") == 0 || std::strcmp(command, "get") == 0) {
        if (argc != 2)
            return UsageError("too many arguments", nullptr);
        if (!Initialise())
            return ExitNoRegisters;
        std::printf("%d\n", GetBrightness());
        return ExitOk;
    }
    if (std::strcmp(command, "set") == 0) {
        if (argc != 3)
            return UsageError(argc < 3 ? "set needs a LEVEL" : "too many arguments for set", nullptr);
        return Set(argv[2]);
    }
    if (std::strcmp(command, "info") == 0)
        return argc == 2 ? Info() : UsageError("too many arguments for info", nullptr);
    return UsageError("unknown command", command);
}
