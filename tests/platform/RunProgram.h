#pragma once

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

struct ProgramResult {
    int exitCode = -1; // -1 when the program could not be started or did not exit normally
    std::string out;
    std::string err;
};

// Runs `path` with `arguments` and this process's environment, its output captured in files under
// `scratchDirectory` (files, not pipes, so a chatty program cannot block on a full pipe).
inline ProgramResult RunProgram(
    const std::string& path, const std::vector<std::string>& arguments, const std::string& scratchDirectory)
{
    const std::string outPath = scratchDirectory + "/program.out";
    const std::string errPath = scratchDirectory + "/program.err";
    std::vector<char*> argv { const_cast<char*>(path.c_str()) };
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(
        &actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(
        &actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);

    ProgramResult result;
    if (spawned != 0)
        return result;
    int status = 0;
    pid_t waited;
    do
        waited = waitpid(pid, &status, 0);
    while (waited < 0 && errno == EINTR);
    if (waited == pid && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    const auto slurp = [](const std::string& file) {
        std::ifstream in(file);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    };
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    return result;
}
