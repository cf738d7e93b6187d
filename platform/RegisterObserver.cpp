#include "platform/RegisterObserver.h"

#include "platform/ReportProblem.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

        // Appends to a regular file, never through a symbolic link at its last component. Non-blocking,
        // so a FIFO without a reader fails instead of stalling the first register access. A root caller
        // only writes into root's own file with a single name, so a user cannot point it (by a link of
        // either kind) at a file that root must not grow.
        bool Open(const char* path)
        {
            const int candidate = open(
                path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0600);
            if (candidate < 0) {
                ReportProblem("not tracing to %s: %s", path, std::strerror(errno));
                return false;
            }
            struct stat status { };
            const char* refusal = nullptr;
            if (fstat(candidate, &status) != 0 || !S_ISREG(status.st_mode))
                refusal = "not a regular file";
            else if (geteuid() == 0 && (status.st_uid != 0 || status.st_nlink != 1))
                refusal = "a root caller only traces into root's own file";
            if (refusal) {
                ReportProblem("not tracing to %s: %s", path, refusal);
                close(candidate);
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
