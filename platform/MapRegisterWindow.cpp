#include "platform/MapRegisterWindow.h"

#include "platform/BoardDirectory.h"
#include "platform/FileDescriptor.h"
#include "platform/RegisterObserver.h"
#include "platform/ReportProblem.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

// A physical address above 4 GiB must reach mmap whole, not wrapped to another page.
static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");

namespace {

constexpr mode_t BoardFileMode = 0600;
constexpr const char PhysicalPrefix[] = "REGWIN_PHYS_";

// The memory device behind physical windows. Only tests replace it (with an ordinary file), so that no
// test ever maps real memory; nothing in the environment can.
constinit char memoryDevice[4096] = "/dev/mem";

std::uintptr_t PageSize()
{
    const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::uintptr_t>(size) : 4096;
}

// Grows the file to `size` bytes of zeros. fallocate never shrinks, so two processes creating windows
// of different sizes at the same time cannot cut each other's file short; ftruncate is the fallback
// for file systems without it.
bool GrowFile(int fd, std::uint32_t size)
{
    int result;
    do
        result = fallocate(fd, 0, 0, size);
    while (result != 0 && errno == EINTR);
    if (result == 0)
        return true;
    if (errno != EOPNOTSUPP)
        return false;
    struct stat status { };
    if (fstat(fd, &status) != 0)
        return false;
    return status.st_size >= static_cast<off_t>(size) || ftruncate(fd, size) == 0;
}

// The register file, opened relative to the checked directory so nothing can be swapped in between.
int OpenRegisterFile(const std::string& directory, const char* name)
{
    std::string problem;
    const bool privileged = PrivilegedCaller();
    const FileDescriptor board(OpenOrCreateBoardDirectory(directory, !privileged, &problem));
    if (board.Get() < 0) {
        ReportProblem("not using the board directory: %s; %s", problem.c_str(),
            privileged ? "this program ignores REGWIN_DIR, so the directory must exist as it is named"
                       : "set REGWIN_DIR to a directory of this user's that nobody else can write");
        return -1;
    }
    // O_RDWR fails on a directory and O_NOFOLLOW on a symbolic link, even for root.
    const int file = OpenRetrying(
        board.Get(), name, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, BoardFileMode);
    if (file < 0)
        ReportProblem(
            "cannot open the register file %s/%s: %s", directory.c_str(), name, std::strerror(errno));
    return file;
}

// A register file that is not ours alone would let whoever shares it choose our registers, and a second
// name (a hard link planted before the directory was private) would send a privileged program's writes
// into some other file.
bool IsOurRegisterFile(const struct stat& status, const std::string& directory, const char* name)
{
    if (!S_ISREG(status.st_mode)) {
        ReportProblem("the register file %s/%s is not a regular file", directory.c_str(), name);
        return false;
    }
    if (status.st_uid != geteuid()) {
        ReportProblem("the register file %s/%s belongs to uid %u, not to this user (uid %u)",
            directory.c_str(), name, static_cast<unsigned>(status.st_uid), static_cast<unsigned>(geteuid()));
        return false;
    }
    if (status.st_nlink != 1) {
        ReportProblem("the register file %s/%s has %ju names (hard links); it may only have one",
            directory.c_str(), name, static_cast<std::uintmax_t>(status.st_nlink));
        return false;
    }
    return true;
}

void* MapSimulatedWindow(std::uint32_t platformAddress, std::uint32_t size)
{
    const std::string directory = BoardDirectoryPath();
    char name[16];
    std::snprintf(name, sizeof name, "%08" PRIx32 ".reg", platformAddress);
    const FileDescriptor file(OpenRegisterFile(directory, name));
    if (file.Get() < 0)
        return nullptr;
    struct stat status { };
    if (fstat(file.Get(), &status) != 0) {
        ReportProblem(
            "cannot inspect the register file %s/%s: %s", directory.c_str(), name, std::strerror(errno));
        return nullptr;
    }
    if (!IsOurRegisterFile(status, directory, name))
        return nullptr;
    if (status.st_size < static_cast<off_t>(size) && !GrowFile(file.Get(), size)) {
        ReportProblem(
            "cannot grow the register file %s/%s: %s", directory.c_str(), name, std::strerror(errno));
        return nullptr;
    }
    void* window = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file.Get(), 0);
    return window == MAP_FAILED ? nullptr : window;
}

// True when REGWIN_PHYS_ names any block: the board is then real, and no block of it may be simulated
// (a real GPIO port driven against a timer that exists only in a file would report success for a
// backlight that does nothing). secure_getenv hides every such variable from a set-user-id program.
bool AnyPhysicalSetting()
{
    if (PrivilegedCaller())
        return false;
    for (char** entry = environ; entry && *entry; ++entry) {
        if (std::strncmp(*entry, PhysicalPrefix, sizeof PhysicalPrefix - 1) == 0)
            return true;
    }
    return false;
}

enum class PhysicalSetting { Absent, Valid, Invalid };

PhysicalSetting PhysicalAddressFor(std::uint32_t platformAddress, std::uint32_t size, std::uint64_t* physical)
{
    char name[32];
    std::snprintf(name, sizeof name, "%s%08" PRIx32, PhysicalPrefix, platformAddress);
    const char* text = secure_getenv(name);
    if (!text)
        return PhysicalSetting::Absent;
    char* end = nullptr;
    errno = 0;
    // strtoull accepts a leading sign and wraps a minus; an address never has one. mmap takes the offset
    // as a signed off_t.
    const unsigned long long value = *text == '-' || *text == '+' ? 0 : std::strtoull(text, &end, 0);
    constexpr std::uint64_t Limit = static_cast<std::uint64_t>(INT64_MAX);
    if (!end || end == text || *end != '\0' || errno != 0 || value % 4 != 0 || value > Limit - size) {
        ReportProblem("%s=\"%s\" is not a word-aligned physical address", name, text);
        return PhysicalSetting::Invalid;
    }
    *physical = value;
    return PhysicalSetting::Valid;
}

void* MapPhysicalWindow(std::uint64_t physical, std::uint32_t size)
{
    const FileDescriptor memory(OpenRetrying(AT_FDCWD, memoryDevice, O_RDWR | O_SYNC | O_CLOEXEC));
    if (memory.Get() < 0) {
        ReportProblem("cannot open %s for real registers: %s", memoryDevice, std::strerror(errno));
        return nullptr;
    }
    // mmap works in whole pages; map the pages that hold the block and point into them.
    const std::uint64_t pageStart = physical & ~static_cast<std::uint64_t>(PageSize() - 1);
    const std::size_t lead = static_cast<std::size_t>(physical - pageStart);
    void* pages = mmap(nullptr, lead + size, PROT_READ | PROT_WRITE, MAP_SHARED, memory.Get(),
        static_cast<off_t>(pageStart));
    if (pages == MAP_FAILED) {
        ReportProblem("cannot map physical address 0x%" PRIx64 " from %s: %s", physical, memoryDevice,
            std::strerror(errno));
        return nullptr;
    }
    return static_cast<char*>(pages) + lead;
}

}

void* MapRegisterWindow(std::uint32_t platformAddress, std::uint32_t size)
{
    if (size == 0 || size % 4 != 0)
        return nullptr;
    registerobserver::InstallTraceFromEnvironment();

    std::uint64_t physical = 0;
    switch (PhysicalAddressFor(platformAddress, size, &physical)) {
    case PhysicalSetting::Absent:
        if (AnyPhysicalSetting()) {
            ReportProblem("block %08" PRIx32 " has no %s%08" PRIx32
                          " while other blocks use real registers; it is neither mapped nor simulated",
                platformAddress, PhysicalPrefix, platformAddress);
            return nullptr;
        }
        return MapSimulatedWindow(platformAddress, size);
    case PhysicalSetting::Valid:
        return MapPhysicalWindow(physical, size);
    case PhysicalSetting::Invalid:
        return nullptr;
    }
    return nullptr;
}

void UnmapRegisterWindow(void* window, std::uint32_t size)
{
    if (!window)
        return;
    // A physical window may start inside its first page; release from the page start.
    const auto address = reinterpret_cast<std::uintptr_t>(window);
    const std::uintptr_t pageStart = address & ~(PageSize() - 1);
    munmap(reinterpret_cast<void*>(pageStart), (address - pageStart) + size);
}

void UseMemoryDeviceStandIn(const char* path)
{
    std::snprintf(memoryDevice, sizeof memoryDevice, "%s", path);
}
