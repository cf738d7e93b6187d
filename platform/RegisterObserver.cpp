#include "platform/RegisterObserver.h"

#include "platform/BoardDirectory.h"
#include "platform/FileDescriptor.h"
#include "platform/ReportProblem.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace registerobserver {

constinit std::atomic<RegisterObserverFunction> installed { nullptr };

namespace {

    constinit std::atomic<void*> installedContext { nullptr };

    // The trace file stays open while the library holding this copy of the platform layer is attached;
    // its unload hook closes it (ReleaseTrace), or the kernel does at process exit.
    class TraceFile {
    public:
        constexpr TraceFile() = default;
        TraceFile(const TraceFile&) = delete;
        TraceFile& operator=(const TraceFile&) = delete;

        bool Open(const char* path)
        {
            std::string problem;
            const int candidate = OpenTraceFile(path, geteuid() == 0, &problem);
            if (candidate < 0) {
                ReportProblem("not tracing to %s: %s", path, problem.c_str());
                return false;
            }
            fd = candidate;
            return true;
        }

        void Close()
        {
            if (fd >= 0)
                close(fd);
            fd = -1;
        }

        // One write per line, on an O_APPEND descriptor, so lines of several processes sharing the file
        // never interleave mid-line. Tracing is a diagnostic: a failed write is dropped, never retried
        // in a loop that could stall the register access.
        void Append(
            std::uint32_t platformAddress, std::uint32_t offset, bool isWrite, std::uint32_t value) const
        {
            char line[64];
            const int length = std::snprintf(line, sizeof line, "%08x %c 0x%02x 0x%08x\n", platformAddress,
                isWrite ? 'w' : 'r', offset, value);
            ssize_t written;
            do
                written = write(fd, line, static_cast<std::size_t>(length));
            while (written < 0 && errno == EINTR);
        }

    private:
        int fd = -1;
    };

    constinit TraceFile traceFile;
    constinit std::atomic<bool> traceConsidered { false };

    void TraceObserver(
        void*, std::uint32_t platformAddress, std::uint32_t offset, int isWrite, std::uint32_t value)
    {
        traceFile.Append(platformAddress, offset, isWrite != 0, value);
    }

    // For a privileged caller, a directory that nobody but it (or root) could have filled: anyone who can
    // write there could plant a link that takes the trace's writes.
    const char* RefuseDirectory(int directory)
    {
        struct stat status { };
        if (fstat(directory, &status) != 0)
            return "its directory cannot be inspected";
        if (status.st_uid != geteuid() && status.st_uid != 0)
            return "its directory belongs to another user";
        if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
            return "its directory can be written by its group or by others";
        return nullptr;
    }

    const char* RefuseFile(int file, bool privileged)
    {
        struct stat status { };
        if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode))
            return "not a regular file";
        if (privileged && status.st_uid != geteuid())
            return "a privileged caller only traces into its own file";
        if (privileged && status.st_nlink != 1)
            return "the file has more than one name (hard links)";
        return nullptr;
    }

}

int OpenTraceFile(const char* path, bool privileged, std::string* problem)
{
    std::string directoryPath;
    std::string name;
    SplitPath(path, &directoryPath, &name);
    if (name.empty() || name == "." || name == "..") {
        *problem = "the path names no file";
        return -1;
    }
    // A privileged caller does not follow a link at the directory's own name either: the checks below
    // are about the directory the path names, not one a link chose.
    const int directoryFlags = O_PATH | O_DIRECTORY | O_CLOEXEC | (privileged ? O_NOFOLLOW : 0);
    const FileDescriptor directory(OpenRetrying(AT_FDCWD, directoryPath.c_str(), directoryFlags));
    if (directory.Get() < 0) {
        *problem = DirectoryOpenFailure(directoryPath, errno);
        return -1;
    }
    if (const char* refusal = privileged ? RefuseDirectory(directory.Get()) : nullptr) {
        *problem = refusal;
        return -1;
    }
    // Non-blocking, so a FIFO without a reader fails instead of stalling the first register access.
    const int file = OpenRetrying(directory.Get(), name.c_str(),
        O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0600);
    if (file < 0) {
        *problem = std::strerror(errno);
        return -1;
    }
    if (const char* refusal = RefuseFile(file, privileged)) {
        *problem = refusal;
        close(file);
        return -1;
    }
    return file;
}

void Report(std::uint32_t platformAddress, std::uint32_t offset, bool isWrite, std::uint32_t value)
{
    const RegisterObserverFunction observer = installed.load(std::memory_order_acquire);
    if (observer)
        observer(installedContext.load(std::memory_order_relaxed), platformAddress, offset, isWrite ? 1 : 0,
            value);
}

void InstallTraceFromEnvironment()
{
    if (traceConsidered.exchange(true))
        return;
    const char* path = secure_getenv("REGWIN_TRACE");
    if (!path || !*path || installed.load(std::memory_order_acquire))
        return;
    if (traceFile.Open(path))
        SetRegisterObserver(TraceObserver, nullptr);
}

void ReleaseTrace()
{
    RegisterObserverFunction tracing = TraceObserver;
    installed.compare_exchange_strong(tracing, nullptr);
    traceFile.Close();
    traceConsidered.store(false);
}

}

extern "C" void SetRegisterObserver(RegisterObserverFunction observer, void* context)
{
    registerobserver::installedContext.store(context, std::memory_order_relaxed);
    registerobserver::installed.store(observer, std::memory_order_release);
}
