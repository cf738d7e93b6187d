#pragma once

#include "platform/RegisterObserver.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Records register accesses through SetRegisterObserver for as long as it lives, each as a line in the
// same format as the REGWIN_TRACE file ("92100000 w 0x10 0x00000030"), so expectations read alike.
class AccessRecorder {
public:
    AccessRecorder() { SetRegisterObserver(&AccessRecorder::Record, this); }
    AccessRecorder(const AccessRecorder&) = delete;
    AccessRecorder& operator=(const AccessRecorder&) = delete;
    ~AccessRecorder() { SetRegisterObserver(nullptr, nullptr); }

    const std::vector<std::string>& Lines() const { return lines; }
    void Clear() { lines.clear(); }

private:
    static void Record(
        void* context, std::uint32_t address, std::uint32_t offset, int isWrite, std::uint32_t value)
    {
        char line[64];
        std::snprintf(
            line, sizeof line, "%08x %c 0x%02x 0x%08x", address, isWrite ? 'w' : 'r', offset, value);
        static_cast<AccessRecorder*>(context)->lines.push_back(line);
    }

    std::vector<std::string> lines;
};
