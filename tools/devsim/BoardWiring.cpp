#include "tools/devsim/BoardWiring.h"

#include "pinbank/PinTable.h"
#include "platform/MapRegisterWindow.h"
#include "platform/RegisterBlocks.h"
#include "platform/RegisterWindow.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <utility>

extern char** environ;

namespace {

bool ParsePin(std::string_view text, int* pin)
{
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), *pin);
    return !text.empty() && status == std::errc() && end == text.data() + text.size();
}

// The wires act on a simulated board only, whatever the environment says about real registers.
void ForgetRealRegisters()
{
    for (;;) {
        char** entry = environ;
        while (*entry && std::strncmp(*entry, "REGWIN_PHYS_", 12) != 0)
            ++entry;
        if (!*entry)
            return;
        const std::string name(*entry, std::strcspn(*entry, "="));
        unsetenv(name.c_str());
    }
}

}

bool BoardWiring::ParseWire(std::string_view text, Wire* wire, std::string* error)
{
    const std::size_t colon = text.find(':');
    int output = 0;
    int input = 0;
    if (colon == std::string_view::npos || !ParsePin(text.substr(0, colon), &output)
        || !ParsePin(text.substr(colon + 1), &input)) {
        *error = "--wire needs OUT:IN, e.g. 54:2, not \"" + std::string(text) + "\"";
        return false;
    }
    const PinLine* from = FindPin(output);
    const PinLine* to = FindPin(input);
    if (!from || from->direction != PinDirection::Output) {
        *error = "--wire " + std::string(text) + ": " + std::to_string(output)
            + " is not an output pin (outputs are 50 to 58)";
        return false;
    }
    if (!to || to->direction != PinDirection::Input) {
        *error = "--wire " + std::string(text) + ": " + std::to_string(input)
            + " is not an input pin (inputs are 0 to 3)";
        return false;
    }
    *wire = { output, input };
    return true;
}

BoardWiring::BoardWiring(std::vector<Wire> boardWires)
    : wires(std::move(boardWires))
{
}

BoardWiring::~BoardWiring()
{
    UnmapRegisterWindow(window, GpioWindowSize);
}

bool BoardWiring::Open(const std::string& dir, std::string* error)
{
    // The libraries' own mapping, so the wires act on the very file they use. A simulator must never
    // write real registers, and tracing would log a read every StepMs, so neither setting is followed.
    setenv("REGWIN_DIR", dir.c_str(), 1);
    ForgetRealRegisters();
    unsetenv("REGWIN_TRACE");
    window = MapRegisterWindow(GpioBlockAddress, GpioWindowSize);
    if (!window)
        *error = "cannot map the GPIO register file in " + dir;
    return window != nullptr;
}

void BoardWiring::Step()
{
    if (!window)
        return;
    const RegisterWindow gpio(window, GpioBlockAddress, GpioWindowSize);
    for (const Wire& wire : wires) {
        const PinLine& from = *FindPin(wire.output);
        const PinLine& to = *FindPin(wire.input);
        const bool high = (gpio.Read32(DataWordOffset(from)) & LineBit(from)) != 0;
        const std::uint32_t inputData = gpio.Read32(DataWordOffset(to));
        if (((inputData & LineBit(to)) != 0) == high)
            continue;
        gpio.Write32(DataWordOffset(to), high ? inputData | LineBit(to) : inputData & ~LineBit(to));
    }
}
