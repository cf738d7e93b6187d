#include "tools/probecheck/UnitCall.h"

#include "serial/UniqueFd.h"
#include "tools/common/CommandLine.h"
#include "tools/common/SignalWatch.h"
#include "tools/probecheck/BacklightCheck.h"
#include "tools/probecheck/CheckLoop.h"
#include "tools/probecheck/CheckRecord.h"
#include "tools/probecheck/GpioCheck.h"
#include "tools/probecheck/GpsCheck.h"
#include "tools/probecheck/GsmCheck.h"
#include "tools/probecheck/JsonReport.h"
#include "tools/probecheck/JunitReport.h"
#include "tools/probecheck/Progress.h"
#include "tools/probecheck/TextReport.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr const char* Usage
    = "Usage: probecheck CHECK [options] [CHECK [options] ...] [--json] [--junit FILE]\n"
      "\n"
      "Pass/fail checks of the device's GPS receiver, GSM module, GPIO lines and\n"
      "backlight, for test rigs and production lines; the checks of a whole unit in\n"
      "one call, those on different devices at the same time:\n"
      "  gps        a fix with enough satellites and a small HDOP in time, every\n"
      "             sentence's checksum right (COM4)\n"
      "  gsm        the module starts up, its SIM is ready, it is registered and its\n"
      "             signal is strong enough; optionally a call (COM1)\n"
      "  gpio       the wires of a loopback fixture follow every level (through libpinbank)\n"
      "  backlight  each brightness level reads back and is in the controller's\n"
      "             registers or the backlight class device (through libglowkit)\n"
      "gpio and backlight reach the board as the libraries do: register windows, or\n"
      "the kernel's GPIO character device and backlight class when the board file\n"
      "(/etc/deviceprobe/board.conf, or $DEVICEPROBE_BOARD) names them.\n"
      "\n"
      "Each check takes --device (another device than the programs use); the whole\n"
      "call takes --json (one JSON object on one line instead of the summary) and\n"
      "--junit FILE (JUnit XML for a CI server). Progress goes to standard error.\n"
      "'probecheck CHECK --help' describes each check.\n"
      "\n"
      "Exit status: the worst of the checks: 0 pass, 1 fail (also a device that went\n"
      "away during its check), 2 could not run (bad option; device missing or busy;\n"
      "interrupted; the record could not be written).\n";

std::unique_ptr<Check> MakeCheck(std::string_view name)
{
    if (name == "gps")
        return std::make_unique<GpsCheck>();
    if (name == "gsm")
        return std::make_unique<GsmCheck>();
    if (name == "gpio")
        return std::make_unique<GpioCheck>();
    if (name == "backlight")
        return std::make_unique<BacklightCheck>();
    return nullptr;
}

bool WriteAll(std::FILE* file, const std::string& text)
{
    return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
}

} // namespace

UnitCall::UnitCall() = default;
UnitCall::~UnitCall() = default;

bool UnitCall::ParseOption(std::string_view option, CommandLine& arguments)
{
    if (std::unique_ptr<Check> check = MakeCheck(option)) {
        // The check before ends here; one whose options do not go together stays the one named.
        if (!checks.empty())
            checks.back()->CheckOptions(arguments);
        if (!arguments.Failed())
            checks.push_back(std::move(check));
    } else if (option == "--json") {
        json = arguments.NoValue();
    } else if (option == "--junit") {
        if (arguments.Value(&junitPath) && junitPath.empty())
            arguments.Fail("--junit needs a file");
    } else if (checks.empty()) {
        return false;
    } else if (option == "--device") {
        if (arguments.Value(&checks.back()->device) && checks.back()->device.empty())
            arguments.Fail("--device needs a path");
    } else {
        return checks.back()->ParseOption(option, arguments);
    }
    return true;
}

int UnitCall::Parse(CommandLine& arguments)
{
    bool help = false;
    if (arguments.ParseOptions(&help, [&](std::string_view option) { return ParseOption(option, arguments); })
        && !help && !checks.empty())
        checks.back()->CheckOptions(arguments);
    const std::string name
        = checks.empty() ? "probecheck" : std::string("probecheck ") + checks.back()->Name();
    if (arguments.Failed()) {
        std::fprintf(
            stderr, "%s: %s\nTry '%s --help'.\n", name.c_str(), arguments.Error().c_str(), name.c_str());
        return 2;
    }
    if (help) {
        std::fputs(checks.empty() ? Usage : checks.back()->Help().c_str(), stdout);
        return 0;
    }
    if (checks.empty()) {
        std::fputs(Usage, stderr);
        return 2;
    }
    return -1;
}

std::vector<std::vector<std::size_t>> UnitCall::Groups() const
{
    std::vector<std::vector<std::size_t>> groups;
    for (std::size_t i = 0; i < checks.size(); ++i) {
        auto group = std::find_if(groups.begin(), groups.end(), [&](const auto& members) {
            return checks[members.front()]->Resource() == checks[i]->Resource();
        });
        if (group == groups.end())
            groups.push_back({ i });
        else
            group->push_back(i);
    }
    return groups;
}

int UnitCall::Main(int argc, char** argv)
{
    CommandLine arguments(argc, argv, 1);
    if (const int status = Parse(arguments); status >= 0)
        return status;
    // Checks that share a device before it is resolved (the board) must name the same one.
    for (std::size_t i = 0; i < checks.size(); ++i) {
        for (std::size_t j = i + 1; j < checks.size(); ++j) {
            if (!checks[i]->Resource().empty() && checks[i]->Resource() == checks[j]->Resource()
                && checks[i]->device != checks[j]->device) {
                std::fprintf(stderr, "probecheck: %s and %s share one board; give both the same --device\n",
                    checks[i]->Name(), checks[j]->Name());
                return 2;
            }
        }
    }
    SignalWatch signals;
    if (!signals.Open()) {
        std::fprintf(stderr, "probecheck: cannot watch for Ctrl-C: %s\n", std::strerror(errno));
        return 2;
    }
    CallRecord call;
    call.started = std::chrono::system_clock::now();
    const auto start = std::chrono::steady_clock::now();
    for (const std::unique_ptr<Check>& check : checks) {
        CheckRecord& record = call.checks.emplace_back(check->Name());
        record.devicePath = check->device;
        if (const std::string problem = check->Prepare(record); !problem.empty())
            record.CouldNotRun(problem);
    }
    {
        Progress progress(start);
        RunAll(signals, progress, call);
    }
    call.elapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int status = Write(call);
    // The record is out: a signal from now on must not turn its exit status into a killed process's.
    signals.IgnoreFromNowOn();
    return status;
}

void UnitCall::RunAll(SignalWatch& signals, Progress& progress, CallRecord& call)
{
    const std::vector<std::vector<std::size_t>> groups = Groups();
    // Every loop is open before any thread starts, so a signal can reach each of them at any time.
    std::vector<std::unique_ptr<CheckLoop>> loops;
    std::vector<std::string> problems;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        loops.push_back(std::make_unique<CheckLoop>());
        problems.emplace_back();
        (void)loops.back()->Open(&problems.back());
    }
    // Each worker counts itself finished and wakes the main thread, which meanwhile hands on signals.
    const UniqueFd wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    std::atomic<std::size_t> finished = 0;
    std::vector<std::thread> workers;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        workers.emplace_back([&, g] {
            RunGroup(groups[g], *loops[g], problems[g], progress, call);
            ++finished;
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = write(wake.Get(), &one, sizeof one);
        });
    }
    while (finished < workers.size()) {
        pollfd watched[2] = { { signals.Fd(), POLLIN, 0 }, { wake.Get(), POLLIN, 0 } };
        if (poll(watched, 2, wake.IsValid() ? -1 : 100) <= 0)
            continue;
        if ((watched[0].revents & POLLIN) != 0) {
            if (const int signal = signals.Take(); signal != 0) {
                for (const std::unique_ptr<CheckLoop>& loop : loops)
                    loop->Interrupt(signal);
            }
        }
        std::uint64_t count = 0;
        if ((watched[1].revents & POLLIN) != 0) [[maybe_unused]]
            const ssize_t got = read(wake.Get(), &count, sizeof count);
    }
    for (std::thread& worker : workers)
        worker.join();
}

void UnitCall::RunGroup(const std::vector<std::size_t>& group, CheckLoop& loop, const std::string& problem,
    Progress& progress, CallRecord& call)
{
    for (const std::size_t i : group) {
        CheckRecord& record = call.checks[i];
        if (record.Ended())
            continue; // it could not be prepared
        record.Start();
        if (!problem.empty())
            record.CouldNotRun(problem);
        else if (loop.StopRequested())
            record.Interrupted(loop.SignalName()); // before it started
        else
            checks[i]->Run(loop, progress, record);
        progress.Done(checks[i]->Name());
    }
}

int UnitCall::Write(const CallRecord& call) const
{
    int status = ExitStatus(call.Overall());
    if (!junitPath.empty()) {
        std::FILE* file = std::fopen(junitPath.c_str(), "w");
        bool written = file && WriteAll(file, JunitReport::Render(call));
        if (file && std::fclose(file) != 0)
            written = false;
        if (!written) {
            std::fprintf(
                stderr, "probecheck: cannot write %s: %s\n", junitPath.c_str(), std::strerror(errno));
            status = 2;
        }
    }
    // A full disk or a closed pipe loses the record: the rig must not take that for any verdict.
    if (!WriteAll(stdout, json ? JsonReport::Render(call) : TextReport::Render(call))) {
        std::fprintf(stderr, "probecheck: cannot write the record: %s\n", std::strerror(errno));
        status = 2;
    }
    return status;
}
