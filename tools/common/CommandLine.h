#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

// Walks the arguments of one subcommand. Options take their value either as the next argument
// ("--speed 30") or inline ("--speed=30"). The first problem found is kept as a message for the user.
class CommandLine {
public:
    CommandLine(int argc, char** argv, int first);

    bool AtEnd() const { return index >= count; }
    // The next argument's option name ("--speed" for "--speed=30"), advancing past it.
    std::string_view Next();
    // The value of the option just returned by Next; false (with a message) when none was given.
    [[nodiscard]] bool Value(std::string* value);
    // As Value, for a number within [min, max].
    [[nodiscard]] bool Number(double min, double max, double* value);
    // As Number, for a whole number.
    [[nodiscard]] bool WholeNumber(int min, int max, int* value);
    // An option that takes no value must not have been given one inline.
    [[nodiscard]] bool NoValue();

    // The option loop of every subcommand: --help (or -h) sets help and ends it; every other argument
    // goes to own, which reads its value and returns false for one it does not know. False when an
    // option was unknown or bad (the message is kept).
    [[nodiscard]] bool ParseOptions(bool* help, const std::function<bool(std::string_view option)>& own);

    void Fail(std::string message);
    bool Failed() const { return !error.empty(); }
    const std::string& Error() const { return error; }

private:
    int count;
    char** arguments;
    int index;
    std::string_view option;
    std::string_view inlineValue;
    bool hasInlineValue = false;
    std::string error;
};

// Strict decimal number: the whole text must convert, and the result must be finite.
[[nodiscard]] bool ParseNumber(std::string_view text, double* value);
// Strict whole number: optional '-', digits, nothing else, within int.
[[nodiscard]] bool ParseWholeNumber(std::string_view text, int* value);

// The common start of every subcommand: parse (a callable taking bool* help) reads the options; bad
// arguments print a message and give exit status 2, --help prints help and gives 0; otherwise the
// result of run(). program names the tool in messages.
template <typename Parse, typename Run>
int RunSubcommand(CommandLine& arguments, const char* name, const char* help, Parse parse, Run run,
    const char* program = "devsim")
{
    bool helpAsked = false;
    if (!parse(&helpAsked)) {
        std::fprintf(stderr, "%s %s: %s\nTry '%s %s --help'.\n", program, name, arguments.Error().c_str(),
            program, name);
        return 2;
    }
    if (helpAsked) {
        std::fputs(help, stdout);
        return 0;
    }
    return run();
}
