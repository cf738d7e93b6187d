#include "tools/devsim/RegisterWindowFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

RegisterWindowFile::RegisterWindowFile(std::uint32_t platformAddress, std::size_t size)
    : address(platformAddress)
    , bytes(size, 0)
{
}

std::string RegisterWindowFile::FileName() const
{
    char name[32];
    std::snprintf(name, sizeof name, "%08x.reg", address);
    return name;
}

void RegisterWindowFile::Load(const std::string& dir)
{
    std::fill(bytes.begin(), bytes.end(), 0);
    fileBytes = 0;
    readError = 0;
    const std::string path = dir + "/" + FileName();
    // Non-blocking so a stray FIFO under the name cannot hang the view.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        readError = errno;
        state = readError == ENOENT ? State::Missing : State::Unreadable;
        return;
    }
    while (fileBytes < bytes.size()) {
        const ssize_t got
            = pread(fd, bytes.data() + fileBytes, bytes.size() - fileBytes, static_cast<off_t>(fileBytes));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            readError = errno;
        if (got <= 0)
            break;
        fileBytes += static_cast<std::size_t>(got);
    }
    close(fd);
    if (readError != 0) {
        std::fill(bytes.begin(), bytes.end(), 0);
        state = State::Unreadable;
        return;
    }
    state = fileBytes < bytes.size() ? State::Short : State::Read;
}

void RegisterWindowFile::SetWord(std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4 && offset + i < bytes.size(); ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t RegisterWindowFile::Word(std::size_t offset) const
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && offset + i < bytes.size(); ++i)
        value |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

std::string RegisterWindowFile::Note() const
{
    switch (state) {
    case State::Zeros:
        return "not loaded: every register reads as 0";
    case State::Read:
        return std::to_string(bytes.size()) + " bytes";
    case State::Missing:
        return "missing: every register reads as 0";
    case State::Short:
        return "only " + std::to_string(fileBytes) + " of " + std::to_string(bytes.size())
            + " bytes: the rest reads as 0";
    case State::Unreadable:
        return std::string("cannot be read (") + std::strerror(readError) + "): every register shown as 0";
    }
    return {};
}
