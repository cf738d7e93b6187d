#include "tools/probecheck/WindowReader.h"

#include "platform/MapRegisterWindow.h"
#include "platform/RegisterWindow.h"
#include "tools/common/Format.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <sys/stat.h>

namespace {

// The path of the file mapped at address, from the kernel's list of this process's mappings.
std::string MappedFile(const void* address)
{
    const auto wanted = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::uintptr_t start = 0;
        std::uintptr_t end = 0;
        if (std::sscanf(line.c_str(), "%" SCNxPTR "-%" SCNxPTR, &start, &end) != 2 || wanted < start
            || wanted >= end)
            continue;
        const std::size_t slash = line.find('/');
        return slash == std::string::npos ? std::string() : line.substr(slash);
    }
    return {};
}

} // namespace

bool WindowReader::UseBoardDirectory(const std::string& dir, std::string* error)
{
    struct stat status { };
    if (stat(dir.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        *error
            = "--device " + dir + ": no such directory (a simulated board is a directory of register files)";
        return false;
    }
    setenv("REGWIN_DIR", dir.c_str(), 1);
    // A named board wins over real registers the environment may point at.
    unsetenv(Format("REGWIN_PHYS_%08" PRIx32, GpioBlockAddress).c_str());
    unsetenv(Format("REGWIN_PHYS_%08" PRIx32, TimerBlockAddress).c_str());
    return true;
}

WindowReader::~WindowReader()
{
    UnmapRegisterWindow(window, size);
}

bool WindowReader::Map(
    const char* name, std::uint32_t windowAddress, std::uint32_t windowSize, std::string* error)
{
    address = windowAddress;
    size = windowSize;
    window = MapRegisterWindow(address, size);
    if (!window) {
        const char* dir = std::getenv("REGWIN_DIR");
        *error = Format("cannot reach the %s registers (window %08" PRIx32
                        "): no board in %s, and no real registers "
                        "named by REGWIN_PHYS_%08" PRIx32,
            name, address, dir && *dir ? dir : "the default board directory", address);
        return false;
    }
    source = MappedFile(window);
    return true;
}

std::uint32_t WindowReader::Read32(std::uint32_t offset) const
{
    return RegisterWindow(window, address, size).Read32(offset);
}

std::string WindowReader::Board() const
{
    const std::size_t slash = source.rfind('/');
    if (source.ends_with(".reg") && slash != std::string::npos && slash > 0)
        return source.substr(0, slash);
    return source;
}
