#pragma once

#include <cerrno>

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

// The one owner of a descriptor that the platform layer or a library opens for a moment (a directory, a
// file to map or read, a backlight attribute): closed when the owner goes. -1 means none.
class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor)
        : fd(descriptor)
    {
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    // Keeps errno, so the reason a call on the descriptor failed survives the close for the message.
    ~FileDescriptor()
    {
        if (fd >= 0) {
            const int error = errno;
            close(fd);
            errno = error;
        }
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
