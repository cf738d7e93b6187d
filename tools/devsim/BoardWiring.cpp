#include "tools/devsim/BoardWiring.h"

#include "platform/MapRegisterWindow.h"
#include "platform/RegisterWindow.h"
#include "tools/devsim/BoardView.h"

#include <charconv>
#include <cstdlib>
#include <utility>

namespace {

// A port's data word sits one word above its control word.
constexpr std::uint32_t DataWordDistance = 4;

const BoardView::Pin* FindPin(int number)
{
    for (int index = 0; index < BoardView::PinCount; ++index) {
        if (BoardView::PinAt(index).number == number)
            return &BoardView::PinAt(index);
    }
    return nullptr;
}

bool ParsePin(std::string_view text, int* pin)
{
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), *pin);
    return !text.empty() && status == std::errc() && end == text.data() + text.size();
}

std::uint32_t DataBit(const BoardView::Pin& pin)
{
    return 1u << pin.line;
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
    const BoardView::Pin* from = FindPin(output);
    const BoardView::Pin* to = FindPin(input);
    if (!from || from->input) {
        *error = "--wire " + std::string(text) + ": " + std::to_string(output)
            + " is not an output pin (outputs are 50 to 58)";
        return false;
    }
    if (!to || !to->input) {
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
    UnmapRegisterWindow(window, BoardView::GpioSize);
}

bool BoardWiring::Open(const std::string& dir, std::string* error)
{
    // The libraries' own mapping, so the wires act on the very file they use. A simulator must never
    // write real registers, and tracing would log a read every StepMs, so neither setting is followed.
    setenv("REGWIN_DIR", dir.c_str(), 1);
    unsetenv("REGWIN_PHYS_92100000");
    unsetenv("REGWIN_TRACE");
    window = MapRegisterWindow(BoardView::GpioAddress, BoardView::GpioSize);
    if (!window)
        *error = "cannot map the GPIO register file in " + dir;
    return window != nullptr;
}

void BoardWiring::Step()
{
    if (!window)
        return;
    const RegisterWindow gpio(window, BoardView::GpioAddress, BoardView::GpioSize);
    for (const Wire& wire : wires) {
        const BoardView::Pin& from = *FindPin(wire.output);
        const BoardView::Pin& to = *FindPin(wire.input);
        const bool high = (gpio.Read32(from.control + DataWordDistance) & DataBit(from)) != 0;
        const std::uint32_t inputData = gpio.Read32(to.control + DataWordDistance);
        if (((inputData & DataBit(to)) != 0) == high)
            continue;
        gpio.Write32(
            to.control + DataWordDistance, high ? inputData | DataBit(to) : inputData & ~DataBit(to));
    }
}
