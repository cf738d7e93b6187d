#include "platform/MapRegisterWindow.h"

#include "platform/RegisterObserver.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t BoardDirectoryMode = 0700;
constexpr mode_t BoardFileMode = 0600;

class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor)
        : fd(descriptor)
    {
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (fd >= 0)
            close(fd);
    }
    int Get() const { return fd; }

private:
    int fd;
};

int OpenRetrying(const char* path, int flags, mode_t mode = 0)
{
    int fd;
    do
        fd = open(path, flags, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

std::uintptr_t PageSize()
{
    const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::uintptr_t>(size) : 4096;
}

// Creates every missing component of `path`; existing ones are left alone.
bool MakeDirectories(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && mkdir(part.c_str(), BoardDirectoryMode) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat status { };
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The /tmp fallback is shared by every user of the machine: someone else could have created the
// directory first to feed us their registers, so it must be a real directory that only we can write.
bool IsPrivateDirectory(const std::string& path)
{
    struct stat status { };
    return lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == geteuid()
        && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string BoardDirectory(bool* mustBePrivate)
{
    *mustBePrivate = false;
    if (const char* dir = secure_getenv("REGWIN_DIR"); dir && *dir)
        return dir;
    if (const char* runtime = secure_getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/regwin";
    *mustBePrivate = true;
    return "/tmp/regwin-" + std::to_string(getuid());
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

void* MapSimulatedWindow(std::uint32_t platformAddress, std::uint32_t size)
{
    bool mustBePrivate = false;
    const std::string directory = BoardDirectory(&mustBePrivate);
    if (!MakeDirectories(directory) || (mustBePrivate && !IsPrivateDirectory(directory)))
        return nullptr;

    char name[32];
    std::snprintf(name, sizeof name, "/%08" PRIx32 ".reg", platformAddress);
    const std::string path = directory + name;
    // O_RDWR fails on a directory and O_NOFOLLOW on a symbolic link, even for root.
    const FileDescriptor file(
        OpenRetrying(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, BoardFileMode));
    if (file.Get() < 0)
        return nullptr;
    struct stat status { };
    if (fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        return nullptr;
    if (status.st_size < static_cast<off_t>(size) && !GrowFile(file.Get(), size))
        return nullptr;

    void* window = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file.Get(), 0);
    return window == MAP_FAILED ? nullptr : window;
}

enum class PhysicalSetting { Absent, Valid, Invalid };

PhysicalSetting PhysicalAddressFor(std::uint32_t platformAddress, std::uint32_t size, std::uint64_t* physical)
{
    char name[32];
    std::snprintf(name, sizeof name, "REGWIN_PHYS_%08" PRIx32, platformAddress);
    const char* text = secure_getenv(name);
    if (!text)
        return PhysicalSetting::Absent;
    // strtoull accepts a leading minus and wraps it; an address never has one.
    if (!*text || *text == '-' || *text == '+')
        return PhysicalSetting::Invalid;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 0);
    if (errno != 0 || *end != '\0' || value % 4 != 0)
        return PhysicalSetting::Invalid;
    // mmap takes the offset as a signed off_t.
    constexpr std::uint64_t Limit = static_cast<std::uint64_t>(INT64_MAX);
    if (value > Limit - size)
        return PhysicalSetting::Invalid;
    *physical = value;
    return PhysicalSetting::Valid;
}

void* MapPhysicalWindow(std::uint64_t physical, std::uint32_t size)
{
    const FileDescriptor memory(OpenRetrying("/dev/mem", O_RDWR | O_SYNC | O_CLOEXEC));
    if (memory.Get() < 0)
        return nullptr;
    // mmap works in whole pages; map the pages that hold the block and point into them.
    const std::uint64_t pageStart = physical & ~static_cast<std::uint64_t>(PageSize() - 1);
    const std::size_t lead = static_cast<std::size_t>(physical - pageStart);
    void* pages = mmap(nullptr, lead + size, PROT_READ | PROT_WRITE, MAP_SHARED, memory.Get(),
        static_cast<off_t>(pageStart));
    if (pages == MAP_FAILED)
        return nullptr;
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
