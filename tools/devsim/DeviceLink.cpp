#include "tools/devsim/DeviceLink.h"

#include "tools/common/ReadLink.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

DeviceLink::~DeviceLink()
{
    Remove();
}

bool DeviceLink::Create(const std::string& path, const std::string& target, std::string* error)
{
    struct stat info { };
    if (lstat(path.c_str(), &info) == 0) {
        struct stat followed { };
        const bool dangling = S_ISLNK(info.st_mode) && stat(path.c_str(), &followed) != 0 && errno == ENOENT;
        if (!dangling) {
            *error = path + " already exists"
                + (S_ISLNK(info.st_mode) ? " (a link to " + ReadLink(path) + ")" : std::string())
                + "; remove it or choose another --link path";
            return false;
        }
        if (unlink(path.c_str()) != 0) {
            *error = "cannot replace the stale link " + path + ": " + std::strerror(errno);
            return false;
        }
    }
    if (symlink(target.c_str(), path.c_str()) != 0) {
        *error = "cannot create the link " + path + ": " + std::strerror(errno);
        return false;
    }
    linkPath = path;
    linkTarget = target;
    return true;
}

void DeviceLink::Remove()
{
    if (linkPath.empty())
        return;
    if (ReadLink(linkPath) == linkTarget)
        unlink(linkPath.c_str());
    linkPath.clear();
}
