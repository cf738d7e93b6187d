#include "pinbank/GpioCharDevice.h"

#include "platform/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <new>

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr const char ChipPrefix[] = "gpiochip";

// N of "gpiochipN", or -1 for any other name.
long ChipNumber(const char* name)
{
    if (std::strncmp(name, ChipPrefix, sizeof ChipPrefix - 1) != 0)
        return -1;
    const char* digits = name + sizeof ChipPrefix - 1;
    const char* end = digits + std::strlen(digits);
    long number = -1;
    const auto [next, error] = std::from_chars(digits, end, number);
    return digits != end && error == std::errc() && next == end ? number : -1;
}

}

int GpioCharDevice::Open(const std::string& path)
{
    return OpenRetrying(AT_FDCWD, path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
}

int GpioCharDevice::Ioctl(int fd, unsigned long request, void* argument)
{
    int result;
    do
        result = ioctl(fd, request, argument);
    while (result < 0 && errno == EINTR);
    return result < 0 ? -1 : 0;
}

void GpioCharDevice::Close(int fd)
{
    close(fd);
}

std::vector<std::string> GpioCharDevice::Chips()
{
    std::vector<std::pair<long, std::string>> found;
    if (DIR* dev = opendir("/dev")) {
        while (const dirent* entry = readdir(dev)) {
            const long number = ChipNumber(entry->d_name);
            if (number >= 0)
                found.emplace_back(number, std::string("/dev/") + entry->d_name);
        }
        closedir(dev);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> chips;
    for (auto& chip : found)
        chips.push_back(std::move(chip.second));
    return chips;
}

GpioCharDevice& GpioCharDevice::Kernel()
{
    // Built in the library's own static storage and never destroyed: a thread still inside an export at
    // exit may use it after static destructors ran, and unloading the library takes the storage with it
    // (heap memory would outlive an unload as a leak).
    alignas(GpioCharDevice) static unsigned char storage[sizeof(GpioCharDevice)];
    static GpioCharDevice* const kernel = new (storage) GpioCharDevice;
    return *kernel;
}
