#include "serial/OpenFailure.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

struct Row {
    int error;
    bool configured;
    const char* expected;
};

// The hint depends on whether the variable was set: an unset one points the user at the variable, a set
// one at the device. The lock's "try again" error must read as a busy port, not as the system's words.
TEST(OpenFailure, NamesTheDeviceTheReasonAndWhatUsuallyHelps)
{
    const Row rows[] = {
        { ENOENT, false,
            "/dev/ttyS3 (COM4 not set): no such device; start with COM4=/dev/ttyUSB0 or wherever "
            "the receiver is." },
        { ENOENT, true, "/dev/ttyS3 (COM4): no such device; is the receiver plugged in?" },
        { EWOULDBLOCK, true, "/dev/ttyS3 (COM4): in use by another program; a daemon holds it." },
        { EACCES, true,
            "/dev/ttyS3 (COM4): permission denied; add the user to the dialout group (sudo usermod "
            "-aG dialout $USER) and log in again." },
        { ENOTTY, true, "/dev/ttyS3 (COM4): not a serial port." },
        { EIO, true,
            "/dev/ttyS3 (COM4): the device does not answer; is the receiver plugged in and powered?" },
    };
    for (const Row& row : rows) {
        OpenFailure failure;
        failure.variable = "COM4";
        failure.configured = row.configured;
        failure.device = "receiver";
        failure.usualHolder = "a daemon holds it";
        failure.path = "/dev/ttyS3";
        failure.error = row.error;
        EXPECT_EQ(failure.Describe(), row.expected) << "errno " << row.error;
    }
}

} // namespace
