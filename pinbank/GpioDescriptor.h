#pragma once

#include "pinbank/GpioCharDevice.h"

#include <cerrno>
#include <utility>

// Owns one descriptor of the GPIO character device, a chip's or a requested line's, and closes it
// through the device that gave it out. Closing a line's descriptor releases the line.
class GpioDescriptor {
public:
    GpioDescriptor() = default;
    GpioDescriptor(GpioCharDevice& owner, int descriptor)
        : device(&owner)
        , fd(descriptor)
    {
    }
    GpioDescriptor(const GpioDescriptor&) = delete;
    GpioDescriptor& operator=(const GpioDescriptor&) = delete;
    GpioDescriptor(GpioDescriptor&& other) noexcept
        : device(other.device)
        , fd(std::exchange(other.fd, -1))
    {
    }
    GpioDescriptor& operator=(GpioDescriptor&& other) noexcept
    {
        if (this != &other) {
            Reset();
            device = other.device;
            fd = std::exchange(other.fd, -1);
        }
        return *this;
    }
    ~GpioDescriptor() { Reset(); }

    bool IsOpen() const { return fd >= 0; }

    // 0, or -1 with errno set (EBADF when nothing is open).
    int Ioctl(unsigned long request, void* argument) const
    {
        if (fd < 0) {
            errno = EBADF;
            return -1;
        }
        return device->Ioctl(fd, request, argument);
    }

    void Reset()
    {
        if (fd >= 0)
            device->Close(fd);
        fd = -1;
    }

private:
    GpioCharDevice* device = nullptr;
    int fd = -1;
};
