#pragma once

#include "tools/probecheck/Check.h"

#include <memory>
#include <string>
#include <vector>

class CheckLoop;
class CommandLine;
class Progress;
class SignalWatch;
struct CallRecord;

// One call of probecheck: a whole unit's checks, split on the command line by their names
// ("gps --device A gsm --device B gpio --wire 54:2 --json"). Checks on different devices run at the
// same time; checks that share one (gpio and backlight share the board) run one after the other. From
// the start to the printed record, Ctrl-C, SIGTERM and SIGHUP are taken by the main thread and handed
// to every running check, which ends with a record; SIGPIPE is ignored. The exit status is the worst of
// the checks (2 over 1 over 0), or 2 when the record could not be written.
class UnitCall {
public:
    UnitCall();
    ~UnitCall();

    int Main(int argc, char** argv);

private:
    // Reads the whole line; 2 for a bad one (reported), 0 after --help, -1 to go on.
    int Parse(CommandLine& arguments);
    bool ParseOption(std::string_view option, CommandLine& arguments);
    // Checks that need the same device run in one group, in the order given.
    std::vector<std::vector<std::size_t>> Groups() const;
    void RunAll(SignalWatch& signals, Progress& progress, CallRecord& call);
    void RunGroup(const std::vector<std::size_t>& group, CheckLoop& loop, const std::string& problem,
        Progress& progress, CallRecord& call);
    int Write(const CallRecord& call) const;

    std::vector<std::unique_ptr<Check>> checks;
    bool json = false;
    std::string junitPath;
};
