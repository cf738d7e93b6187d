#include "platform/ReportProblem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include <unistd.h>

namespace {

constinit std::atomic<bool> reportsEnabled { true };
constinit std::atomic<std::uint64_t> lastReported { 0 };

std::uint64_t Fingerprint(const char* text, std::size_t length)
{
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (std::size_t i = 0; i < length; ++i) {
        hash ^= static_cast<unsigned char>(text[i]);
        hash *= 1099511628211ull;
    }
    return hash;
}

}

void ReportProblem(const char* format, ...)
{
    if (!reportsEnabled.load())
        return;
    const int savedErrno = errno;
    char line[512] = "regwin: ";
    constexpr std::size_t Prefix = 8;
    constexpr std::size_t Room = sizeof line - Prefix - 1; // one byte stays free for the newline
    va_list arguments;
    va_start(arguments, format);
    const int formatted = std::vsnprintf(line + Prefix, Room, format, arguments);
    va_end(arguments);
    if (formatted < 0) {
        errno = savedErrno;
        return;
    }
    std::size_t length = Prefix + std::min(static_cast<std::size_t>(formatted), Room - 1);
    line[length++] = '\n';
    const std::uint64_t fingerprint = Fingerprint(line, length);
    if (lastReported.exchange(fingerprint) != fingerprint) {
        ssize_t written;
        do
            written = write(STDERR_FILENO, line, length);
        while (written < 0 && errno == EINTR);
    }
    errno = savedErrno;
}

void SetProblemReports(bool enabled)
{
    reportsEnabled.store(enabled);
}
