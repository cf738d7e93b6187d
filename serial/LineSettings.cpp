#include "serial/LineSettings.h"

#include "serial/RetryOnEintr.h"

#include <cerrno>

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

constexpr std::uint8_t OneStopBit = 0;
constexpr std::uint8_t OneAndHalfStopBits = 1;
constexpr std::uint8_t TwoStopBits = 2;

constexpr std::uint8_t NoParity = 0;
constexpr std::uint8_t OddParity = 1;
constexpr std::uint8_t EvenParity = 2;
constexpr std::uint8_t MarkParity = 3;
constexpr std::uint8_t SpaceParity = 4;

// The framing bits a driver might quietly refuse; Apply checks them after the fact.
constexpr tcflag_t FramingFlags = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR;

tcflag_t ParityFlags(std::uint8_t parity)
{
    switch (parity) {
    case OddParity:
        return PARENB | PARODD;
    case EvenParity:
        return PARENB;
    case MarkParity:
        return PARENB | CMSPAR | PARODD;
    case SpaceParity:
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

// Pseudo-terminal slaves (the kernel's majors 136 to 143) have no wire: their driver always reports
// 8 data bits without parity, whatever was asked. Only what it keeps can be checked there.
tcflag_t CheckableFraming(int fd)
{
    struct stat device { };
    if (fstat(fd, &device) == 0 && S_ISCHR(device.st_mode) && major(device.st_rdev) >= 136
        && major(device.st_rdev) <= 143)
        return FramingFlags & ~(CSIZE | PARENB);
    return FramingFlags;
}

} // namespace

bool LineSettings::SpeedFor(std::uint32_t baudRate, speed_t* speed)
{
    struct Rate {
        std::uint32_t baud;
        speed_t code;
    };
    static constexpr Rate rates[] = {
        { 50, B50 },
        { 75, B75 },
        { 110, B110 },
        { 134, B134 },
        { 150, B150 },
        { 200, B200 },
        { 300, B300 },
        { 600, B600 },
        { 1200, B1200 },
        { 1800, B1800 },
        { 2400, B2400 },
        { 4800, B4800 },
        { 9600, B9600 },
        { 19200, B19200 },
        { 38400, B38400 },
        { 57600, B57600 },
        { 115200, B115200 },
        { 230400, B230400 },
        { 460800, B460800 },
        { 500000, B500000 },
        { 576000, B576000 },
        { 921600, B921600 },
        { 1000000, B1000000 },
        { 1152000, B1152000 },
        { 1500000, B1500000 },
        { 2000000, B2000000 },
        { 2500000, B2500000 },
        { 3000000, B3000000 },
        { 3500000, B3500000 },
        { 4000000, B4000000 },
    };
    for (const Rate& rate : rates) {
        if (rate.baud == baudRate) {
            *speed = rate.code;
            return true;
        }
    }
    return false;
}

bool LineSettings::SizeFor(std::uint8_t byteSize, tcflag_t* size)
{
    switch (byteSize) {
    case 5:
        *size = CS5;
        return true;
    case 6:
        *size = CS6;
        return true;
    case 7:
        *size = CS7;
        return true;
    case 8:
        *size = CS8;
        return true;
    default:
        return false;
    }
}

bool LineSettings::IsValid(
    std::uint32_t baudRate, std::uint8_t byteSize, std::uint8_t stopBits, std::uint8_t parity)
{
    speed_t speed {};
    tcflag_t size {};
    if (!SpeedFor(baudRate, &speed) || !SizeFor(byteSize, &size) || parity > SpaceParity)
        return false;
    switch (stopBits) {
    case OneStopBit:
        return true;
    case OneAndHalfStopBits:
        return byteSize == 5;
    case TwoStopBits:
        return byteSize != 5;
    default:
        return false;
    }
}

bool LineSettings::Configure(termios* settings, std::uint32_t baudRate, std::uint8_t byteSize,
    std::uint8_t stopBits, std::uint8_t parity)
{
    speed_t speed {};
    tcflag_t size {};
    if (!IsValid(baudRate, byteSize, stopBits, parity) || !SpeedFor(baudRate, &speed)
        || !SizeFor(byteSize, &size))
        return false;

    settings->c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON | IXOFF
        | IXANY | INPCK | IMAXBEL);
    settings->c_oflag &= ~OPOST;
    settings->c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    settings->c_cflag &= ~FramingFlags;
    settings->c_cflag |= size | ParityFlags(parity) | CREAD | CLOCAL;
    if (stopBits != OneStopBit)
        settings->c_cflag |= CSTOPB;
    settings->c_cc[VMIN] = 1;
    settings->c_cc[VTIME] = 0;
    cfsetispeed(settings, speed);
    cfsetospeed(settings, speed);
    return true;
}

bool LineSettings::Apply(int fd, const termios& settings)
{
    if (RetryOnEintr([&] { return tcsetattr(fd, TCSANOW, &settings); }) != 0)
        return false;
    termios taken {};
    if (RetryOnEintr([&] { return tcgetattr(fd, &taken); }) != 0)
        return false;
    const tcflag_t checked = CheckableFraming(fd);
    const bool framingTaken = (taken.c_cflag & checked) == (settings.c_cflag & checked);
    const bool speedTaken
        = cfgetispeed(&taken) == cfgetispeed(&settings) && cfgetospeed(&taken) == cfgetospeed(&settings);
    if (framingTaken && speedTaken)
        return true;
    errno = EINVAL;
    return false;
}

void LineSettings::LowerModemLines(int fd)
{
    const int lines = TIOCM_DTR | TIOCM_RTS;
    RetryOnEintr([&] { return ioctl(fd, TIOCMBIC, &lines); });
}
