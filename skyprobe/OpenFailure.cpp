#include "skyprobe/OpenFailure.h"

#include <cerrno>
#include <cstring>

namespace {

struct Explanation {
    std::string reason;
    std::string hint;
};

Explanation Explain(const std::string& variable, bool configured, int error)
{
    const std::string pointAtReceiver
        = "start with " + variable + "=/dev/ttyUSB0 or wherever the receiver is";
    switch (error) {
    case ENOENT:
        return { "no such device", configured ? "is the receiver plugged in?" : pointAtReceiver };
    case EACCES:
    case EPERM:
        return { "permission denied",
            "add the user to the dialout group (sudo usermod -aG dialout $USER) and log in again" };
    case EBUSY:
    case EAGAIN:
        return { "in use by another program",
            "a GPS daemon often holds the receiver (sudo systemctl stop gpsd.socket gpsd)" };
    case ENOTTY:
        return { "not a serial port", configured ? "" : pointAtReceiver };
    case ENXIO:
    case ENODEV:
    case EIO:
        return { "the device does not answer",
            configured ? "is the receiver plugged in and powered?" : pointAtReceiver };
    case EINVAL:
        return { "the device refuses 9600 baud, 8 data bits, no parity, one stop bit", "" };
    default:
        return { std::strerror(error), "" };
    }
}

} // namespace

WideString DescribeOpenFailure(const char* variable, const std::string& path, bool configured, int error)
{
    const std::string name = variable ? variable : "";
    const Explanation explanation = Explain(name, configured, error);
    std::string line = path + " (" + name + (configured ? "" : " not set") + "): " + explanation.reason;
    if (!explanation.hint.empty())
        line += "; " + explanation.hint;
    // A hint that asks a question brings its own full stop.
    line += line.back() == '?' ? "\r\n" : ".\r\n";
    return WideString::FromAscii(line);
}
