#pragma once

#include <string>
#include <string_view>

class CheckLoop;
class CheckRecord;
class CommandLine;
class Progress;

// One check of a unit as probecheck runs it. The call parses each check's options, prepares every check
// on its main thread, then runs checks that need different devices at the same time, each on a thread
// of its own with its own loop, and checks that share a device one after the other.
class Check {
public:
    virtual ~Check() = default;

    virtual const char* Name() const = 0;
    virtual std::string Help() const = 0;
    // One option of this check, its value read through arguments; false for an option it does not know.
    virtual bool ParseOption(std::string_view option, CommandLine& arguments) = 0;
    // After the check's last option: refuses, through arguments, a combination that cannot work.
    virtual void CheckOptions(CommandLine&) { }
    // On the main thread before any check runs, so the environment is only ever changed there. Names
    // the kind of device in record (and the board file that chose the way to the board). Returns why
    // the check cannot run, or nothing.
    virtual std::string Prepare(CheckRecord& record) = 0;
    // What the check needs to itself: its serial device's path, or the board.
    virtual std::string Resource() const = 0;
    // Runs the check on the calling thread and ends record: measured, lost, interrupted or not run.
    virtual void Run(CheckLoop& loop, Progress& progress, CheckRecord& record) = 0;

    // --device as given; empty for the device the programs use.
    std::string device;
};
