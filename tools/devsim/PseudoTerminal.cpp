#include "tools/devsim/PseudoTerminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal(std::size_t limit)
    : staleLimit(limit)
{
}

PseudoTerminal::~PseudoTerminal()
{
    if (slave >= 0)
        close(slave);
    if (master >= 0)
        close(master);
}

bool PseudoTerminal::Open(std::string* error)
{
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    const char* step = "posix_openpt";
    if (master >= 0 && grantpt(master) != 0)
        step = "grantpt";
    else if (master >= 0 && unlockpt(master) != 0)
        step = "unlockpt";
    else if (master >= 0) {
        char name[128];
        if (ptsname_r(master, name, sizeof name) != 0) {
            step = "ptsname";
        } else {
            slavePath = name;
            slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
            step = "open of the slave side";
        }
    }
    termios settings {};
    if (slave >= 0 && tcgetattr(slave, &settings) == 0) {
        cfmakeraw(&settings);
        if (tcsetattr(slave, TCSANOW, &settings) == 0)
            return true;
        step = "tcsetattr";
    } else if (slave >= 0) {
        step = "tcgetattr";
    }
    *error = std::string("cannot create a pseudo-terminal: ") + step + ": " + std::strerror(errno);
    if (slave >= 0)
        close(slave);
    if (master >= 0)
        close(master);
    slave = master = -1;
    slavePath.clear();
    return false;
}

long PseudoTerminal::Read(char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t got = read(master, buffer, size);
        if (got >= 0)
            return static_cast<long>(got);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return -1;
    }
}

bool PseudoTerminal::Write(const char* data, std::size_t size)
{
    DropStaleOutput();
    while (size > 0) {
        const ssize_t put = write(master, data, size);
        if (put > 0) {
            data += put;
            size -= static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true; // the port's buffer is full: nobody is reading, so the rest is lost
        return false;
    }
    return true;
}

void PseudoTerminal::DropStaleOutput()
{
    int queued = 0;
    if (ioctl(slave, FIONREAD, &queued) == 0 && static_cast<std::size_t>(queued) > staleLimit)
        tcflush(slave, TCIFLUSH);
}
