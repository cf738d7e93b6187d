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

// Formats "<source>: <text>\n" into one buffer and writes it with one call.
void Report(const char* source, const char* format, va_list arguments)
{
    if (!reportsEnabled.load())
        return;
    const int savedErrno = errno;
    char line[512];
    const int prefix = std::snprintf(line, sizeof line, "%.32s: ", source);
    const auto prefixLength = static_cast<std::size_t>(prefix > 0 ? prefix : 0);
    const std::size_t room = sizeof line - prefixLength - 1; // one byte stays free for the newline
    const int formatted = std::vsnprintf(line + prefixLength, room, format, arguments);
    if (formatted < 0) {
        errno = savedErrno;
        return;
    }
    std::size_t length = prefixLength + std::min(static_cast<std::size_t>(formatted), room - 1);
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

}

void ReportProblem(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    Report("regwin", format, arguments);
    va_end(arguments);
}

void ReportProblemFrom(const char* source, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    Report(source, format, arguments);
    va_end(arguments);
}

void SetProblemReports(bool enabled)
{
    reportsEnabled.store(enabled);
}
