#pragma once

// Helpers of the fault tests of the two programs: a child process with its output captured (devsim,
// or this very test executable run again without privileges), and a temporary directory.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fault {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The account that programs run under when nobody trusts them.
constexpr uid_t UnprivilegedUser = 65534;
constexpr gid_t UnprivilegedGroup = 65534;
// The exit code of a child that was to drop its privileges and was not allowed to (root without the
// capability to change its user, as in some containers).
constexpr int CannotDropPrivileges = 126;

inline std::string SelfPath()
{
    char path[4096] = {};
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

// A child process with stdin, stdout and stderr on pipes. The child is killed when this goes, so a
// failing test leaves nothing running.
class ChildProcess {
public:
    // Starts program with arguments and the current environment plus extraEnvironment ("NAME=value").
    // With dropPrivileges the child gives up root for the unprivileged account before it runs.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
        const std::vector<std::string>& extraEnvironment = {}, bool dropPrivileges = false)
    {
        // An extra entry replaces the inherited one of the same name.
        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry) {
            const std::string inherited = *entry;
            const std::string name = inherited.substr(0, inherited.find('=') + 1);
            bool replaced = false;
            for (const std::string& extra : extraEnvironment)
                replaced = replaced || extra.starts_with(name);
            if (!replaced)
                environment.push_back(inherited);
        }
        for (const std::string& entry : extraEnvironment)
            environment.push_back(entry);
        std::vector<char*> envp;
        for (std::string& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::vector<std::string> argumentCopies { program };
        argumentCopies.insert(argumentCopies.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : argumentCopies)
            argv.push_back(argument.data());
        argv.push_back(nullptr);

        // The unprivileged child may not be able to reach the program's path (a checkout in a private
        // home directory): it runs the file opened here, while still privileged, instead of its name.
        const int programFd = dropPrivileges ? ::open(program.c_str(), O_RDONLY | O_CLOEXEC) : -1;
        if (dropPrivileges && programFd < 0)
            return;
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            // Only async-signal-safe calls from here on: the parent has threads.
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::setpgid(0, 0);
            if (dropPrivileges) {
                if (::setgroups(0, nullptr) != 0
                    || ::setresgid(UnprivilegedGroup, UnprivilegedGroup, UnprivilegedGroup) != 0
                    || ::setresuid(UnprivilegedUser, UnprivilegedUser, UnprivilegedUser) != 0)
                    ::_exit(CannotDropPrivileges);
                // The working directory may be just as unreachable.
                if (::chdir("/") != 0)
                    ::_exit(127);
                ::fexecve(programFd, argv.data(), envp.data());
                ::_exit(127);
            }
            ::execve(program.c_str(), argv.data(), envp.data());
            ::_exit(127);
        }
        if (programFd >= 0)
            ::close(programFd);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        input = in[1];
        output = out[0];
        errors = err[0];
        ::fcntl(errors, F_SETFL, ::fcntl(errors, F_GETFL) | O_NONBLOCK);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess()
    {
        if (pid > 0 && !exited) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        for (const int fd : { input, output, errors })
            if (fd >= 0)
                ::close(fd);
    }

    bool Started() const { return pid > 0; }

    // The first line the child prints on stdout; empty if none comes within the patience.
    std::string FirstLine(std::chrono::milliseconds patience = 30s)
    {
        std::string line;
        const auto deadline = Clock::now() + patience;
        char c = 0;
        while (Clock::now() < deadline) {
            pollfd watched { output, POLLIN, 0 };
            if (::poll(&watched, 1, 100) <= 0)
                continue;
            if (::read(output, &c, 1) != 1 || c == '\n')
                break;
            line += c;
        }
        return line;
    }

    // Writes text to the child's standard input; false when not all of it went.
    [[nodiscard]] bool Say(const std::string& text)
    {
        return ::write(input, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

    // Whatever the child wrote to stderr so far, kept across calls.
    const std::string& Errors()
    {
        char buffer[4096];
        ssize_t got = 0;
        while ((got = ::read(errors, buffer, sizeof buffer)) > 0)
            errorText.append(buffer, static_cast<std::size_t>(got));
        return errorText;
    }

    // Stdout to its end, then the exit code (128 + signal for a signalled child, -1 on timeout).
    std::pair<int, std::string> Finish(std::chrono::milliseconds patience = 120s)
    {
        std::string text;
        const auto deadline = Clock::now() + patience;
        while (Clock::now() < deadline) {
            pollfd watched { output, POLLIN, 0 };
            if (::poll(&watched, 1, 100) <= 0)
                continue;
            char buffer[4096];
            const ssize_t got = ::read(output, buffer, sizeof buffer);
            if (got <= 0)
                break;
            text.append(buffer, static_cast<std::size_t>(got));
        }
        return { Wait(deadline), text };
    }

    int Stop(int signal)
    {
        ::kill(pid, signal);
        return Wait(Clock::now() + 30s);
    }

private:
    int Wait(Clock::time_point deadline)
    {
        int status = 0;
        while (pid > 0 && !exited && Clock::now() < deadline) {
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                exited = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::usleep(10000);
        }
        return -1;
    }

    pid_t pid = -1;
    bool exited = false;
    int input = -1;
    int output = -1;
    int errors = -1;
    std::string errorText;
};

// Runs one disabled test of this executable in a child process of its own, as a second copy of a
// program would run, and gives its exit code and what it printed. With withoutPrivileges the child
// cannot open root's devices: as root it drops to the unprivileged account; otherwise the caller has
// already taken its own rights away (chmod 0).
inline std::pair<int, std::string> RunDisabledTest(
    const std::string& test, const std::vector<std::string>& extraEnvironment, bool withoutPrivileges = false)
{
    std::vector<std::string> environment = extraEnvironment;
    // The test main makes a private runtime directory of its own when the inherited one is not usable.
    if (withoutPrivileges)
        environment.push_back("XDG_RUNTIME_DIR=");
    ChildProcess child(SelfPath(), { "--gtest_also_run_disabled_tests", "--gtest_filter=" + test },
        environment, withoutPrivileges && ::geteuid() == 0);
    if (!child.Started())
        return { -1, "could not start the child" };
    std::pair<int, std::string> result = child.Finish();
    result.second += child.Errors();
    return result;
}

inline std::pair<int, std::string> RunDisabledTestWithoutPrivileges(
    const std::string& test, const std::vector<std::string>& extraEnvironment)
{
    return RunDisabledTest(test, extraEnvironment, true);
}

// A fresh directory under /tmp, removed with what it holds when this goes.
class TemporaryDirectory {
public:
    TemporaryDirectory()
    {
        char pattern[] = "/tmp/probe-fault-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        path = made ? made : "";
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    ~TemporaryDirectory()
    {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

} // namespace fault
