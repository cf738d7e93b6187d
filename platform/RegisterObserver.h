#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// Watching register traffic. Every Read32 and Write32 of a RegisterWindow reports to the observer when
// one is installed; with none installed the cost is one well-predicted branch per access.
//
// Two ways to install one:
// - SetRegisterObserver, a C entry point for tests and tools that link the platform library directly.
//   The shared libraries never export it, so programs that load them cannot reach it.
// - REGWIN_TRACE=<file> in the environment, read with secure_getenv once, when the first window of the
//   process (or of the loaded library) is mapped, and only used if no observer is installed by then
//   (OpenTraceFile says which paths are accepted). Every access is appended to it as one line,
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

// Opens the REGWIN_TRACE file `path` for appending and returns its descriptor, or -1 with the reason in
// *problem. The file is created (mode 0600) relative to its opened directory and never through a
// symbolic link; it must be a regular file. A `privileged` caller (root) is refused, before anything is
// created, a directory that is a symbolic link, belongs to a user other than itself or root, or can be
// written by its group or others; and then a file of another user's or with a second name (hard link).
// A refused path is never created.
int OpenTraceFile(const char* path, bool privileged, std::string* problem);

// Installs the REGWIN_TRACE file observer when the variable is set and nothing else observes yet.
void InstallTraceFromEnvironment();

// Removes the REGWIN_TRACE observer and closes its file; the next window mapped considers the variable
// again. For a library's unload hook, when no caller's thread can be tracing.
void ReleaseTrace();

}
