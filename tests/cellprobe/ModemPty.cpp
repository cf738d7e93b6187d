#include "ModemPty.h"

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

ModemPty::ModemPty()
{
    int slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        master = -1;
        return;
    }
    slavePath = name;
    ::close(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
}

ModemPty::~ModemPty()
{
    if (master >= 0)
        ::close(master);
}

bool ModemPty::LineSettings(termios* settings) const
{
    // A pty's master reports the termios of its slave.
    return ::tcgetattr(master, settings) == 0;
}

bool ModemPty::Send(std::string_view text)
{
    while (!text.empty()) {
        const ssize_t written = ::write(master, text.data(), text.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void ModemPty::Poll()
{
    char buffer[256];
    for (;;) {
        const ssize_t count = ::read(master, buffer, sizeof buffer);
        if (count > 0) {
            received.append(buffer, static_cast<std::size_t>(count));
            heardFromProgram = true;
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        // EIO: no slave descriptor is open. Before the program has written anything that only means
        // it has not opened the port yet.
        if (count < 0 && errno == EIO && heardFromProgram)
            hungUp = true;
        return;
    }
}

std::string ModemPty::Take()
{
    std::string taken;
    taken.swap(received);
    return taken;
}
