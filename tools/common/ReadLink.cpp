#include "tools/common/ReadLink.h"

#include <unistd.h>

std::string ReadLink(const std::string& path)
{
    // readlink says nothing of a target it had to cut, so a target that fills the buffer is read again
    // into a larger one.
    std::string target(256, '\0');
    for (;;) {
        const ssize_t length = readlink(path.c_str(), target.data(), target.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            return target;
        }
        target.resize(target.size() * 2);
    }
}
