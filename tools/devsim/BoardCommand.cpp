#include "tools/devsim/BoardCommand.h"

#include "pinbank/PinTable.h"
#include "platform/BoardDirectory.h"
#include "platform/RegisterBlocks.h"
#include "tools/devsim/BoardView.h"
#include "tools/common/CommandLine.h"
#include "tools/common/Format.h"
#include "tools/devsim/RegisterWindowFile.h"
#include "tools/common/SignalWatch.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace {

constexpr const char* Help
    = "Usage: devsim board [--watch] [--dir DIR]\n"
      "       devsim board --wire OUT:IN [--wire OUT:IN ...] [--stuck IN=LEVEL ...] [--dir DIR]\n"
      "\n"
      "Shows the simulated GPIO and backlight registers: each pin of the GPIO library\n"
      "with its mode and level, the backlight drive line, its power enable and the\n"
      "brightness from the timer's compare and count. Read only, unless wired.\n"
      "\n"
      "  --watch        refresh in place every 0.5 s until Ctrl-C\n"
      "  --dir DIR      where the register files are (default $REGWIN_DIR, else\n"
      "                 $XDG_RUNTIME_DIR/regwin, else /tmp/regwin-<effective uid>)\n"
      "  --wire OUT:IN  wire output OUT (50-58) to input IN (0-3): the level driven on\n"
      "                 OUT shows on IN within a few milliseconds, until Ctrl-C.\n"
      "                 Repeatable; one output may feed several inputs. Writes the\n"
      "                 inputs' data bits, creating the GPIO file if it is missing.\n"
      "  --stuck IN=LEVEL  hold input IN (0-3) at LEVEL (0 or 1) whatever feeds it, as a\n"
      "                 broken input buffer does. Repeatable; served like --wire.\n"
      "\n"
      "Files: 92100000.reg (GPIO, 256 bytes) and 91a00000.reg (timer, 68 bytes),\n"
      "little-endian 32-bit registers at their offsets; a missing file reads as zeros.\n";

// Home, the view with each line's leftovers erased, then everything below erased: no flicker, and a
// view that got shorter leaves nothing behind.
std::string InPlace(const std::string& view)
{
    std::string screen = "\x1b[H";
    for (const char c : view) {
        if (c == '\n')
            screen += "\x1b[K";
        screen += c;
    }
    return screen + "\x1b[J";
}

}

int BoardCommand::Main(CommandLine& arguments)
{
    return RunSubcommand(
        arguments, "board", Help, [&](bool* help) { return Parse(arguments, help); },
        [this] {
            if (dir.empty())
                dir = BoardDirectoryPath();
            if (!wires.empty() || !stuck.empty())
                return Wire();
            if (watch)
                return Watch();
            std::fputs(Snapshot().c_str(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        });
}

bool BoardCommand::Parse(CommandLine& arguments, bool* help)
{
    const bool parsed = arguments.ParseOptions(help, [&](std::string_view option) {
        if (option == "--watch") {
            watch = arguments.NoValue();
        } else if (option == "--dir") {
            if (arguments.Value(&dir) && dir.empty())
                arguments.Fail("--dir needs a directory");
        } else if (option == "--wire") {
            ParseWire(arguments);
        } else if (option == "--stuck") {
            ParseStuck(arguments);
        } else {
            return false;
        }
        return true;
    });
    if (parsed && !*help && watch && (!wires.empty() || !stuck.empty()))
        arguments.Fail(
            "--watch does not go with --wire or --stuck; watch from a second 'devsim board --watch'");
    return !arguments.Failed();
}

void BoardCommand::ParseWire(CommandLine& arguments)
{
    std::string text;
    PinWire wire {};
    std::string error;
    if (!arguments.Value(&text))
        return;
    if (!ParsePinWire(text, &wire, &error))
        return arguments.Fail(error);
    // Two outputs on one input would fight; the board could show only one of them.
    if (Feeds(wire.input))
        return arguments.Fail("input " + std::to_string(wire.input) + " is wired twice");
    wires.push_back(wire);
}

void BoardCommand::ParseStuck(CommandLine& arguments)
{
    std::string text;
    if (!arguments.Value(&text))
        return;
    const std::size_t equals = text.find('=');
    int input = -1;
    int level = -1;
    const PinLine* pin = nullptr;
    if (equals == std::string::npos || !ParseWholeNumber(std::string_view(text).substr(0, equals), &input)
        || !ParseWholeNumber(std::string_view(text).substr(equals + 1), &level) || (level != 0 && level != 1)
        || !(pin = FindPin(input)) || pin->direction != PinDirection::Input)
        return arguments.Fail(
            "--stuck needs IN=LEVEL with an input 0 to 3 and LEVEL 0 or 1, not \"" + text + "\"");
    if (Feeds(input))
        return arguments.Fail("input " + std::to_string(input) + " is stuck twice, or stuck and wired");
    stuck.push_back({ input, level == 1 });
}

bool BoardCommand::Feeds(int input) const
{
    for (const PinWire& wire : wires) {
        if (wire.input == input)
            return true;
    }
    for (const BoardWiring::StuckInput& held : stuck) {
        if (held.input == input)
            return true;
    }
    return false;
}

std::string BoardCommand::Snapshot() const
{
    RegisterWindowFile gpio(GpioBlockAddress, GpioWindowSize);
    RegisterWindowFile timer(TimerBlockAddress, TimerWindowSize);
    gpio.Load(dir);
    timer.Load(dir);
    // Show the board even where the libraries would not use it, and say so: that is why a program sees
    // no registers while the files look fine. A missing directory is only an empty board.
    std::string problem;
    const int board = OpenBoardDirectory(dir, &problem);
    if (board >= 0)
        close(board);
    else if (errno == ENOENT)
        problem.clear();
    return BoardView::Render(dir, gpio, timer, problem);
}

int BoardCommand::Watch() const
{
    SignalWatch signals;
    if (!signals.Open()) {
        std::fprintf(stderr, "devsim board: cannot watch for Ctrl-C: %s\n", std::strerror(errno));
        return 1;
    }
    std::fputs("\x1b[2J\x1b[?25l", stdout); // clear once, hide the cursor while refreshing
    auto next = std::chrono::steady_clock::now();
    int status = 0;
    for (;;) {
        const std::string view = Snapshot() + "\n(refreshed every 0.5 s; Ctrl-C to stop)\n";
        std::fputs(InPlace(view).c_str(), stdout);
        if (std::fflush(stdout) != 0) {
            status = 1; // stdout went away: nobody to show the view to
            break;
        }
        next += std::chrono::milliseconds(RefreshMs);
        const auto now = std::chrono::steady_clock::now();
        if (next < now)
            next = now;
        if (!signals.SleepUntil(next))
            break;
    }
    std::fputs("\x1b[?25h", stdout);
    std::fflush(stdout);
    return status;
}

int BoardCommand::Wire() const
{
    SignalWatch signals;
    if (!signals.Open()) {
        std::fprintf(stderr, "devsim board: cannot watch for Ctrl-C: %s\n", std::strerror(errno));
        return 1;
    }
    BoardWiring wiring(wires, stuck);
    std::string error;
    if (!wiring.Open(dir, &error)) {
        std::fprintf(stderr, "devsim board: %s\n", error.c_str());
        return 1;
    }
    wiring.Step();
    // Announced once the wires carry levels, so a script that waits for this line can start testing.
    std::string announcement = "wired";
    for (const PinWire& wire : wires)
        announcement += Format(" %d->%d", wire.output, wire.input);
    for (const BoardWiring::StuckInput& held : stuck)
        announcement += Format(" %d=%d", held.input, held.high ? 1 : 0);
    std::printf("%s in %s (Ctrl-C to stop)\n", announcement.c_str(), dir.c_str());
    std::fflush(stdout);
    for (;;) {
        if (!signals.SleepUntil(
                std::chrono::steady_clock::now() + std::chrono::milliseconds(BoardWiring::StepMs)))
            return 0;
        wiring.Step();
    }
}
