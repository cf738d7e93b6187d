#include "platform/BoardDirectory.h"

#include "platform/FileDescriptor.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "link/" would resolve the link despite O_NOFOLLOW; the last component must be the name itself.
std::string WithoutTrailingSlashes(const std::string& path)
{
    std::string name = path;
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    return name;
}

// Makes the last component of `path` in its existing parent. An existing one (another process was
// quicker) is left for OpenBoardDirectory to judge.
bool CreateLastComponent(const std::string& path, std::string* problem)
{
    std::string parent;
    std::string last;
    SplitPath(WithoutTrailingSlashes(path), &parent, &last);
    const FileDescriptor directory(OpenRetrying(AT_FDCWD, parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (directory.Get() < 0) {
        *problem = "cannot create " + path + ": its parent " + parent + ": " + std::strerror(errno)
            + " (only the last directory of the path is created)";
        return false;
    }
    if (mkdirat(directory.Get(), last.c_str(), 0700) != 0 && errno != EEXIST) {
        *problem = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}

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

void SplitPath(const std::string& path, std::string* directory, std::string* name)
{
    const std::size_t slash = path.rfind('/');
    *directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirectoryOpenFailure(const std::string& path, int error)
{
    // With O_DIRECTORY a link at the end fails as "not a directory"; tell the two apart for the user.
    struct stat link { };
    if (error == ELOOP || (error == ENOTDIR && lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)))
        return path + " is a symbolic link";
    if (error == ENOTDIR)
        return path + " is not a directory";
    return path + ": " + std::strerror(error);
}

bool PrivilegedCaller()
{
    return getauxval(AT_SECURE) != 0;
}

int OpenBoardDirectory(const std::string& path, std::string* problem)
{
    const std::string name = WithoutTrailingSlashes(path);
    const int fd = OpenRetrying(AT_FDCWD, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        *problem = DirectoryOpenFailure(name, error);
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

int OpenOrCreateBoardDirectory(const std::string& path, bool mayCreate, std::string* problem)
{
    const int fd = OpenBoardDirectory(path, problem);
    if (fd >= 0 || errno != ENOENT)
        return fd;
    if (!mayCreate) {
        *problem = path
            + " does not exist, and a set-user-id, set-group-id or file-capability program "
              "does not create it";
        errno = ENOENT;
        return -1;
    }
    return CreateLastComponent(path, problem) ? OpenBoardDirectory(path, problem) : -1;
}
