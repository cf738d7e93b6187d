#include "cellprobe/OpenFailure.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

TEST(OpenFailure, NamesTheDeviceTheReasonAndTheUsualFix)
{
    struct Case {
        const char* variable; // the value of COM1 while describing, nullptr for unset
        const char* path;
        int error;
        std::vector<std::string> said;
    };
    const Case cases[] = {
        { nullptr, "/dev/ttyS0", ENOENT, { "COM1: /dev/ttyS0:", "No such file", "COM1 is not set" } },
        { "/dev/ttyUSB7", "/dev/ttyUSB7", ENOENT, { "/dev/ttyUSB7", "plugged in" } },
        { "/dev/ttyUSB0", "/dev/ttyUSB0", EACCES, { "Permission denied", "dialout group" } },
        { "/dev/ttyUSB0", "/dev/ttyUSB0", EWOULDBLOCK, { "in use by another program", "modem manager" } },
        { "/tmp/file", "/tmp/file", ENOTTY, { "/tmp/file", "not a serial port" } },
        { "/dev/ttyUSB0", "/dev/ttyUSB0", EIO, { "Input/output error." } },
    };
    for (const Case& c : cases) {
        if (c.variable)
            ::setenv("COM1", c.variable, 1);
        else
            ::unsetenv("COM1");
        const std::string text = DescribeOpenFailure("COM1", c.path, c.error);
        SCOPED_TRACE(text);
        for (const std::string& part : c.said)
            EXPECT_NE(text.find(part), std::string::npos) << part;
    }
    ::unsetenv("COM1");
}
