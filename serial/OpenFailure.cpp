#include "serial/OpenFailure.h"

#include <cerrno>
#include <cstring>

std::string OpenFailure::Reason(int error)
{
    switch (error) {
    case ENOENT:
        return "no such device";
    case EACCES:
    case EPERM:
        return "permission denied";
    // The lock that keeps a port to one program fails with "Resource temporarily unavailable", which
    // would tell the user nothing.
    case EBUSY:
    case EWOULDBLOCK:
        return "in use by another program";
    case ENOTTY:
        return "not a serial port";
    case ENXIO:
    case ENODEV:
    case EIO:
        return "the device does not answer";
    case EINVAL:
        return "the device refuses the line settings";
    default:
        return std::strerror(error);
    }
}

std::string OpenFailure::Describe() const
{
    const std::string name = variable ? variable : "";
    const std::string what = device ? device : "device";
    const std::string pointAtDevice = "start with " + name + "=/dev/ttyUSB0 or wherever the " + what + " is";
    std::string hint;
    switch (error) {
    case ENOENT:
        hint = configured ? "is the " + what + " plugged in?" : pointAtDevice;
        break;
    case EACCES:
    case EPERM:
        hint = "add the user to the dialout group (sudo usermod -aG dialout $USER) and log in again";
        break;
    case EBUSY:
    case EWOULDBLOCK:
        hint = usualHolder ? usualHolder : "";
        break;
    case ENOTTY:
        hint = configured ? "" : pointAtDevice;
        break;
    case ENXIO:
    case ENODEV:
    case EIO:
        hint = configured ? "is the " + what + " plugged in and powered?" : pointAtDevice;
        break;
    default:
        break;
    }
    // Without a path (the name named no device) the variable alone says which port it was.
    std::string text = path.empty() ? name : path + " (" + name + (configured ? "" : " not set") + ")";
    text += ": " + Reason(error);
    if (!hint.empty())
        text += "; " + hint;
    // A hint that asks a question brings its own full stop.
    if (text.back() != '?')
        text += '.';
    return text;
}
