#pragma once

#include <cerrno>

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

// The one owner of a descriptor that the register-window layer opens for a moment (a directory, a file
// to map): closed when the owner goes. -1 means none.
class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor)
        : fd(descriptor)
    {
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (fd >= 0)
            close(fd);
    }
    int Get() const { return fd; }

private:
    int fd;
};

// openat, tried again when a signal interrupts it.
inline int OpenRetrying(int directory, const char* path, int flags, mode_t mode = 0)
{
    int fd;
    do
        fd = openat(directory, path, flags, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}
