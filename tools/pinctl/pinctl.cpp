// pinctl: reads and drives the device's GPIO lines through libpinbank, the way any program would.

#include "pinbank/GpioCharDevice.h"
#include "pinbank/GpioLineFinder.h"
#include "pinbank/LineRequest.h"
#include "pinbank/PinTable.h"
#include "pinbank/pinbank.h"
#include "platform/BoardFile.h"
#include "platform/MapRegisterWindow.h"
#include "platform/RegisterBlocks.h"
#include "platform/ReportProblem.h"
#include "tools/common/GpioWay.h"
#include "tools/common/WayDescription.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitNoRegisters = 1;
constexpr int ExitUsage = 2;

constexpr const char* Usage = "usage: pinctl get PIN\n"
                              "       pinctl set PIN LEVEL\n"
                              "       pinctl info\n"
                              "       pinctl --help\n";

constexpr const char* Help
    = "Reads and drives GPIO lines through libpinbank.\n"
      "\n"
      "  get PIN        print 1 if the line is high, 0 if it is low\n"
      "                 (inputs 0-3 are switched to input mode first; outputs 50-58\n"
      "                 read back their level)\n"
      "  set PIN LEVEL  make output PIN (50-58) an output and drive it: LEVEL 1 high, 0 low\n"
      "  info           say which way the pins go and, for the GPIO character device, the\n"
      "                 chip and line of every pin\n"
      "\n"
      "When the board file (/etc/deviceprobe/board.conf, or $DEVICEPROBE_BOARD) names pins\n"
      "(pin.N = CHIP:OFFSET or LINE-NAME), they go through the kernel's GPIO character\n"
      "device and a pin it does not name is out of reach. Otherwise registers come from the\n"
      "simulated board in $REGWIN_DIR unless REGWIN_PHYS_92100000 names their physical\n"
      "address. Exit status: 0 done, 1 registers or line out of reach, 2 bad arguments.\n";

bool ParseInt(const char* text, std::int32_t* value)
{
    const char* end = text + std::strlen(text);
    const auto [next, error] = std::from_chars(text, end, *value);
    return *text && error == std::errc() && next == end;
}

bool IsInputPin(std::int32_t pin)
{
    const PinLine* entry = FindPin(pin);
    return entry && entry->direction == PinDirection::Input;
}

bool IsOutputPin(std::int32_t pin)
{
    const PinLine* entry = FindPin(pin);
    return entry && entry->direction == PinDirection::Output;
}

int UsageError(const char* message, const char* argument)
{
    std::fprintf(stderr, "pinctl: %s", message);
    if (argument)
        std::fprintf(stderr, ": '%s'", argument);
    std::fprintf(stderr, "\n%s", Usage);
    return ExitUsage;
}

// The library's calls report nothing when its registers are out of reach (it then reads 0 and drives
// nothing), so check the window the same way it maps it before claiming a result. The library has
// already said why on standard error when it was loaded; this copy of the mapping code stays quiet.
bool RegistersReachable()
{
    SetProblemReports(false);
    void* window = MapRegisterWindow(GpioBlockAddress, GpioWindowSize);
    UnmapRegisterWindow(window, GpioWindowSize);
    if (window)
        return true;
    std::fprintf(
        stderr, "pinctl: cannot map the GPIO registers (check REGWIN_DIR or REGWIN_PHYS_92100000)\n");
    return false;
}

bool LineReachable(const BoardFile& board, std::int32_t pin)
{
    GpioLineFinder finder(GpioCharDevice::Kernel());
    GpioLineFinder::Line line;
    std::string problem;
    if (HeldPinLine(board, pin, finder, &line, &problem))
        return true;
    std::fprintf(stderr, "pinctl: %s\n", problem.c_str());
    return false;
}

bool PinReachable(std::int32_t pin)
{
    BoardFile board;
    board.Load();
    switch (board.GpioWay()) {
    case BoardWay::Registers:
        return RegistersReachable();
    case BoardWay::Kernel:
        return LineReachable(board, pin);
    case BoardWay::OutOfReach:
        break;
    }
    std::fprintf(stderr,
        "pinctl: no pin is reachable: %s cannot be used as it is (the lines above say why)\n",
        BoardFileText(board).c_str());
    return false;
}

void PrintLine(const BoardFile& board, const PinLine& entry, GpioLineFinder& finder)
{
    const char* direction = entry.direction == PinDirection::Input ? "input " : "output";
    const BoardFile::Pin* source = board.PinSource(entry.pin);
    if (!source) {
        std::printf("pin %2d  %s  not named: out of reach\n", entry.pin, direction);
        return;
    }
    GpioLineFinder::Line line;
    std::string problem;
    std::string where;
    if (!finder.Find(*source, &line, &problem))
        where = "out of reach: " + problem;
    else if (line.used && line.consumer == LineRequest::Consumer)
        where = GpioLineFinder::Describe(line);
    else
        where = GpioLineFinder::Describe(line) + ", out of reach: "
            + (line.used ? "held by \"" + line.consumer + "\"" : std::string("not requested (said above)"));
    std::printf("pin %2d  %s  %s  (%s)\n", entry.pin, direction, where.c_str(),
        BoardLineText(board, source->lineNumber).c_str());
}

int Info()
{
    BoardFile board;
    board.Load();
    std::printf("%s\n", GpioWaySentence(board).c_str());
    if (board.GpioWay() != BoardWay::Kernel)
        return ExitOk;
    GpioLineFinder finder(GpioCharDevice::Kernel());
    for (const PinLine& entry : PinTable)
        PrintLine(board, entry, finder);
    return ExitOk;
}

int Get(const char* pinText)
{
    std::int32_t pin = 0;
    if (!ParseInt(pinText, &pin))
        return UsageError("PIN is not a whole number", pinText);
    if (!IsInputPin(pin) && !IsOutputPin(pin))
        return UsageError("no such pin (inputs are 0-3, outputs 50-58)", pinText);
    if (!PinReachable(pin))
        return ExitNoRegisters;
    std::printf("%d\n", GetGPInput(pin));
    return ExitOk;
}

int Set(const char* pinText, const char* levelText)
{
    std::int32_t pin = 0;
    std::int32_t level = 0;
    if (!ParseInt(pinText, &pin))
        return UsageError("PIN is not a whole number", pinText);
    if (IsInputPin(pin))
        return UsageError("pins 0-3 are inputs and cannot be driven", pinText);
    if (!IsOutputPin(pin))
        return UsageError("no such output pin (outputs are 50-58)", pinText);
    if (!ParseInt(levelText, &level) || (level != 0 && level != 1))
        return UsageError("LEVEL must be 0 or 1", levelText);
    if (!PinReachable(pin))
        return ExitNoRegisters;
    SetGPOutput(pin, level);
    return ExitOk;
}

}

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        BoardFile board;
        board.Load();
        std::printf("%s\n%s\nHere: %s\n", Usage, Help, GpioWaySentence(board).c_str());
        return ExitOk;
    }
    if (argc < 2)
        return UsageError("missing command", nullptr);
    const char* command = argv[1];
    if (std::strcmp(command, "get") == 0) {
        if (argc != 3)
            return UsageError(argc < 3 ? "get needs a PIN" : "too many arguments for get", nullptr);
        return Get(argv[2]);
    }
    if (std::strcmp(command, "set") == 0) {
        if (argc != 4)
            return UsageError(
                argc < 4 ? "set needs a PIN and a LEVEL" : "too many arguments for set", nullptr);
        return Set(argv[2], argv[3]);
    }
    if (std::strcmp(command, "info") == 0)
        return argc == 2 ? Info() : UsageError("too many arguments for info", nullptr);
    return UsageError("unknown command", command);
}
