#include "serial/UniqueFd.h"

#include <utility>

#include <unistd.h>

UniqueFd::UniqueFd(UniqueFd&& other) noexcept
    : fd(std::exchange(other.fd, -1))
{
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other)
        Reset(std::exchange(other.fd, -1));
    return *this;
}

UniqueFd::~UniqueFd()
{
    Reset();
}

void UniqueFd::Reset(int newFd)
{
    // close is not retried on EINTR: Linux releases the descriptor even then, and a retry could close
    // a number that another thread has just been given.
    if (fd >= 0)
        ::close(fd);
    fd = newFd;
}
