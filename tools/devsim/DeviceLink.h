#pragma once

#include <string>

// A symbolic link with a stable name (for example the COM4 a program is pointed at) to the
// simulator's pseudo-terminal, removed again when the owner goes away.
class DeviceLink {
public:
    DeviceLink() = default;
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;
    ~DeviceLink();

    // Makes path point at target. A link left behind by an earlier run whose target is gone is
    // replaced; anything else already at path is left alone and the call fails with a message.
    [[nodiscard]] bool Create(const std::string& path, const std::string& target, std::string* error);
    // Removes the link if it still points at our target (someone may have replaced it meanwhile).
    void Remove();

private:
    std::string linkPath;
    std::string linkTarget;
};
