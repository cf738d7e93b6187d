#include "tools/common/CommandLine.h"

#include "tools/common/Format.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <utility>

CommandLine::CommandLine(int argc, char** argv, int first)
    : count(argc)
    , arguments(argv)
    , index(first)
{
}

std::string_view CommandLine::Next()
{
    const std::string_view argument = arguments[index++];
    hasInlineValue = false;
    inlineValue = {};
    option = argument;
    const std::size_t equals = argument.find('=');
    if (argument.starts_with("--") && equals != std::string_view::npos) {
        option = argument.substr(0, equals);
        inlineValue = argument.substr(equals + 1);
        hasInlineValue = true;
    }
    return option;
}

bool CommandLine::Value(std::string* value)
{
    if (hasInlineValue) {
        *value = std::string(inlineValue);
        return true;
    }
    if (AtEnd()) {
        Fail(std::string(option) + " needs a value");
        return false;
    }
    *value = arguments[index++];
    return true;
}

bool CommandLine::Number(double min, double max, double* value)
{
    std::string text;
    if (!Value(&text))
        return false;
    double number = 0;
    if (!ParseNumber(text, &number) || number < min || number > max) {
        Fail(Format("%.*s needs a number from %g to %g, not \"%s\"", static_cast<int>(option.size()),
            option.data(), min, max, text.c_str()));
        return false;
    }
    *value = number;
    return true;
}

bool CommandLine::WholeNumber(int min, int max, int* value)
{
    double number = 0;
    if (!Number(min, max, &number))
        return false;
    if (number != static_cast<int>(number)) {
        Fail(std::string(option) + " needs a whole number");
        return false;
    }
    *value = static_cast<int>(number);
    return true;
}

bool CommandLine::NoValue()
{
    if (!hasInlineValue)
        return true;
    Fail(std::string(option) + " takes no value");
    return false;
}

bool CommandLine::ParseOptions(bool* help, const std::function<bool(std::string_view option)>& own)
{
    while (!AtEnd() && !Failed()) {
        const std::string_view argument = Next();
        if (argument == "--help" || argument == "-h") {
            *help = true;
            return true;
        }
        if (!own(argument))
            Fail("unknown option \"" + std::string(argument) + "\"");
    }
    return !Failed();
}

void CommandLine::Fail(std::string message)
{
    if (error.empty())
        error = std::move(message);
}

bool ParseNumber(std::string_view text, double* value)
{
    // strtod alone would also take leading blanks, hex and "inf"; a person typing a number means none of
    // those.
    if (text.empty() || text.size() > 64
        || text.find_first_not_of("0123456789.+-eE") != std::string_view::npos)
        return false;
    const std::string copy(text);
    char* end = nullptr;
    const double number = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(number))
        return false;
    *value = number;
    return true;
}

bool ParseWholeNumber(std::string_view text, int* value)
{
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return !text.empty() && status == std::errc() && end == text.data() + text.size();
}
