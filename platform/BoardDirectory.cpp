#include "platform/BoardDirectory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string BoardDirectoryPath(const char* regwinDir, const char* runtimeDir, unsigned effectiveUid)
{
    if (regwinDir && *regwinDir)
        return regwinDir;
    if (runtimeDir && *runtimeDir)
        return std::string(runtimeDir) + "/regwin";
    return "/tmp/regwin-" + std::to_string(effectiveUid);
}

std::string BoardDirectoryPath()
{
    return BoardDirectoryPath(secure_getenv("REGWIN_DIR"), secure_getenv("XDG_RUNTIME_DIR"), geteuid());
}

int OpenBoardDirectory(const std::string& path, std::string* problem)
{
    // "link/" would resolve the link despite O_NOFOLLOW; the last component must be the name itself.
    std::string name = path;
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    int fd;
    do
        fd = open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        // With O_DIRECTORY a link at the end fails as "not a directory"; tell the two apart for the user.
        struct stat link { };
        if (error == ELOOP || (error == ENOTDIR && lstat(name.c_str(), &link) == 0 && S_ISLNK(link.st_mode)))
            *problem = path + " is a symbolic link";
        else if (error == ENOTDIR)
            *problem = path + " is not a directory";
        else
            *problem = path + ": " + std::strerror(error);
        errno = error;
        return -1;
    }
    struct stat status { };
    const uid_t user = geteuid();
    if (fstat(fd, &status) != 0) {
        *problem = path + ": " + std::strerror(errno);
    } else if (status.st_uid != user) {
        *problem = path + " belongs to uid " + std::to_string(status.st_uid) + ", not to this user (uid "
            + std::to_string(user) + ")";
    } else if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        *problem = path + " can be written by its group or by others (mode " + mode + ")";
    } else {
        return fd;
    }
    close(fd);
    errno = EACCES;
    return -1;
}
