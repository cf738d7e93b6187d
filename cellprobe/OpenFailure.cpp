#include "cellprobe/OpenFailure.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string Hint(const char* variable, int error)
{
    const char* configured = std::getenv(variable);
    const bool set = configured && *configured;
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        if (!set)
            return std::string(variable) + " is not set; set it to the modem's device, for example "
                + variable + "=/dev/ttyUSB0.";
        return "Check that the modem is plugged in and that " + std::string(variable) + " names its device.";
    case EACCES:
    case EPERM:
        return "Add your user to the dialout group (sudo usermod -aG dialout $USER) and log in again.";
    case EWOULDBLOCK:
    case EBUSY:
        return "A modem manager service often holds modem ports; tell it to leave this one alone, or stop "
               "it.";
    case ENOTTY:
        return "That device is not a serial port.";
    default:
        return {};
    }
}

} // namespace

std::string DescribeOpenFailure(const char* variable, const std::string& path, int error)
{
    std::string text = "Cannot open " + std::string(variable) + ":";
    if (!path.empty())
        text += " " + path;
    // The lock that keeps a port to one program fails with "Resource temporarily unavailable", which
    // would tell the user nothing.
    text += ": ";
    text += error == EWOULDBLOCK || error == EBUSY ? "in use by another program" : std::strerror(error);
    text += ".";
    const std::string hint = Hint(variable, error);
    if (!hint.empty())
        text += " " + hint;
    return text;
}
