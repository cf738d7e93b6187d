#include "tools/common/PinWire.h"

#include "pinbank/PinTable.h"
#include "tools/common/CommandLine.h"

bool ParsePinWire(std::string_view text, PinWire* wire, std::string* error)
{
    const std::size_t colon = text.find(':');
    int output = 0;
    int input = 0;
    if (colon == std::string_view::npos || !ParseWholeNumber(text.substr(0, colon), &output)
        || !ParseWholeNumber(text.substr(colon + 1), &input)) {
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
