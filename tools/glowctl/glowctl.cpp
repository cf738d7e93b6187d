// glowctl: initialises the display backlight and reads or sets its level through libglowkit, the way
// any program would.

#include "glowkit/glowkit.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitNoRegisters = 1;
constexpr int ExitUsage = 2;

constexpr std::int32_t LowestLevel = 0;
constexpr std::int32_t HighestLevel = 100;

constexpr const char* Usage = "usage: glowctl init\n"
                              "       glowctl get\n"
                              "       glowctl set LEVEL\n"
                              "       glowctl --help\n";

constexpr const char* Help
    = "Controls the display backlight through libglowkit. Every command initialises the backlight\n"
      "first, as every program using the library does: the timer is started, the power is switched\n"
      "on and the level the hardware shows is adopted. So even 'get' switches a backlight that was\n"
      "off (level 0) back on, at the level it had before; 'devsim board' shows the simulated board\n"
      "without touching it.\n"
      "\n"
      "  init       initialise and print the adopted level\n"
      "  get        initialise (switching the backlight on) and print the level\n"
      "  set LEVEL  initialise, then set LEVEL (0 off, 1-99 dimmed, 100 full); prints \"OLD -> LEVEL\"\n"
      "\n"
      "Registers come from the simulated board in $REGWIN_DIR unless REGWIN_PHYS_92100000 and\n"
      "REGWIN_PHYS_91a00000 name their physical addresses (both: with only one set, the other block\n"
      "is refused rather than simulated). Exit status: 0 done, 1 registers out of reach, 2 bad\n"
      "arguments.\n";

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
    std::fprintf(stderr,
        "glowctl: cannot map the backlight registers (check REGWIN_DIR or REGWIN_PHYS_92100000 "
        "and REGWIN_PHYS_91a00000)\n");
    return false;
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
        std::printf("%s\n%s", Usage, Help);
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
    return UsageError("unknown command", command);
}
