#pragma once

#include <string>
#include <vector>

// The few calls the GPIO library makes of the kernel's GPIO character device (the v2 interface of
// <linux/gpio.h>): open a chip, ioctls on a chip or on a requested line, close, and the list of chips.
// The library's kernel way goes through nothing else, so tests put a stand-in chip in its place.
class GpioCharDevice {
public:
    constexpr GpioCharDevice() = default;
    GpioCharDevice(const GpioCharDevice&) = delete;
    GpioCharDevice& operator=(const GpioCharDevice&) = delete;
    virtual ~GpioCharDevice() = default;

    // A close-on-exec descriptor for the chip at `path`, or -1 with errno set.
    virtual int Open(const std::string& path);
    // One ioctl on a chip or line descriptor: 0, or -1 with errno set. An interrupted call is retried.
    virtual int Ioctl(int fd, unsigned long request, void* argument);
    virtual void Close(int fd);
    // The chips this machine has, as paths /dev/gpiochipN in the order of N.
    virtual std::vector<std::string> Chips();

    // The kernel's own, alive for the whole process (it holds nothing), so a caller's thread still
    // inside the library at exit can always reach it.
    static GpioCharDevice& Kernel();
};
