#pragma once

#include <string>
#include <string_view>

// Turns the device names the programs use into Linux paths.
//
// "COMn:" (n from 1, the colon optional, "com" in any case) becomes the value of the environment
// variable COMn when it is set and not empty (COM4=/dev/ttyUSB0), else /dev/ttyS<n-1>, the kernel's
// name for the n-th on-board UART. A name starting with '/' is taken as the path itself. Nothing else
// names a device.
class DevicePath {
public:
    // False for a name that is none of the above or that is not valid UTF-16; path is then untouched.
    [[nodiscard]] static bool Resolve(std::u16string_view name, std::string* path);

private:
    static bool ParseComNumber(std::u16string_view name, unsigned* number);
    static bool ToUtf8(std::u16string_view text, std::string* utf8);
};
