#include "tools/devsim/CaptureReplay.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

bool CaptureReplay::Load(const std::string& path, std::string* error)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        *error = "cannot read the capture " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        text.append(buffer, got);
        if (text.size() > MaxBytes) {
            *error = "the capture " + path + " is larger than 64 MiB";
            return false;
        }
        if (got < sizeof buffer)
            break;
    }
    if (std::ferror(file.get())) {
        *error = "cannot read the capture " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!LoadText(text, error)) {
        *error = "the capture " + path + " " + *error;
        return false;
    }
    return true;
}

bool CaptureReplay::LoadText(const std::string& text, std::string* error)
{
    std::string kept;
    kept.reserve(text.size());
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t newline = text.find('\n', start);
        const std::size_t end = newline == std::string::npos ? text.size() : newline + 1;
        if (text[start] != '#')
            kept.append(text, start, end - start);
        start = end;
    }
    if (kept.empty()) {
        *error = "holds nothing to replay (no lines other than '#' notes)";
        return false;
    }
    // A capture cut off mid-line would otherwise glue its last fragment to the first sentence of the
    // next pass; end it the way a receiver ends a line.
    if (kept.back() != '\n')
        kept += "\r\n";
    bytes = std::move(kept);
    position = 0;
    return true;
}

std::string CaptureReplay::Next(std::size_t size)
{
    std::string piece;
    if (bytes.empty())
        return piece;
    piece.reserve(size);
    while (piece.size() < size) {
        const std::size_t take = std::min(size - piece.size(), bytes.size() - position);
        piece.append(bytes, position, take);
        position = (position + take) % bytes.size();
    }
    return piece;
}
