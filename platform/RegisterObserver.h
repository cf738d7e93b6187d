#pragma once

#include <atomic>
#include <cstdint>

// Watching register traffic. Every Read32 and Write32 of a RegisterWindow reports to the observer when
// one is installed; with none installed the cost is one well-predicted branch per access.
//
// Two ways to install one:
// - SetRegisterObserver, a C entry point for tests and tools that link the platform library directly.
//   The shared libraries never export it, so programs that load them cannot reach it.
// - REGWIN_TRACE=<file> in the environment, read with secure_getenv once, when the first window of the
//   process (or of the loaded library) is mapped, and only used if no observer is installed by then.
//   The file must be a regular file, is never reached through a symbolic link at its last component,
//   and a root caller only uses one that root owns. Every access is appended to it as one line,
//       "<window address, 8 hex digits> <r|w> 0x<offset, 2+ hex digits> 0x<value, 8 hex digits>"
//   for example "92100000 w 0x10 0x00000030". This works through the real shared objects.

extern "C" {
// `isWrite` is 1 for a store and 0 for a load; `value` is the word read or written.
typedef void (*RegisterObserverFunction)(
    void* context, std::uint32_t platformAddress, std::uint32_t offset, int isWrite, std::uint32_t value);

// Installs `observer` (null removes it). `context` is handed back on every call. Call it while no
// other thread touches registers.
void SetRegisterObserver(RegisterObserverFunction observer, void* context);
}

namespace registerobserver {

extern std::atomic<RegisterObserverFunction> installed;

void Report(std::uint32_t platformAddress, std::uint32_t offset, bool isWrite, std::uint32_t value);

// Installs the REGWIN_TRACE file observer when the variable is set and nothing else observes yet.
void InstallTraceFromEnvironment();

// Removes the REGWIN_TRACE observer and closes its file; the next window mapped considers the variable
// again. For a library's unload hook, when no caller's thread can be tracing.
void ReleaseTrace();

}
