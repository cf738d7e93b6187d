#include "tools/devsim/BoardWiring.h"

#include "pinbank/PinTable.h"
#include "platform/MapRegisterWindow.h"
#include "platform/RegisterBlocks.h"
#include "platform/RegisterWindow.h"

#include <cstdlib>
#include <cstring>
#include <utility>

extern char** environ;

namespace {

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

BoardWiring::BoardWiring(std::vector<PinWire> boardWires, std::vector<StuckInput> stuckInputs)
    : wires(std::move(boardWires))
    , stuck(std::move(stuckInputs))
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
    for (const PinWire& wire : wires) {
        const PinLine& from = *FindPin(wire.output);
        Drive(wire.input, (gpio.Read32(DataWordOffset(from)) & LineBit(from)) != 0);
    }
    for (const StuckInput& input : stuck)
        Drive(input.input, input.high);
}

void BoardWiring::Drive(int input, bool high) const
{
    const RegisterWindow gpio(window, GpioBlockAddress, GpioWindowSize);
    const PinLine& to = *FindPin(input);
    const std::uint32_t inputData = gpio.Read32(DataWordOffset(to));
    if (((inputData & LineBit(to)) != 0) == high)
        return;
    gpio.Write32(DataWordOffset(to), high ? inputData | LineBit(to) : inputData & ~LineBit(to));
}
