#include "platform/RegisterObserver.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

namespace registerobserver {

constinit std::atomic<RegisterObserverFunction> installed { nullptr };

namespace {

    constinit std::atomic<void*> installedContext { nullptr };

    // The trace file stays open while the code that writes it is loaded; it closes when the process ends
    // or the library holding this copy of the platform layer is unloaded.
    class TraceFile {
    public:
        constexpr TraceFile() = default;
        TraceFile(const TraceFile&) = delete;
        TraceFile& operator=(const TraceFile&) = delete;
        ~TraceFile()
        {
            if (fd >= 0)
                close(fd);
        }

        bool Open(const char* path)
        {
            fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
            return fd >= 0;
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
    static std::once_flag once;
    std::call_once(once, [] {
        const char* path = secure_getenv("REGWIN_TRACE");
        if (!path || !*path || installed.load(std::memory_order_acquire))
            return;
        if (traceFile.Open(path))
            SetRegisterObserver(TraceObserver, nullptr);
    });
}

}

extern "C" void SetRegisterObserver(RegisterObserverFunction observer, void* context)
{
    registerobserver::installedContext.store(context, std::memory_order_relaxed);
    registerobserver::installed.store(observer, std::memory_order_release);
}
