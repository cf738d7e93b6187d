#include "skyprobe/LogEcho.h"

#include "ui/WideString.h"

#include <cstdint>

void AppendEcho(WideString& logText, const char* bytes, int count)
{
    if (!bytes || count <= 0)
        return;
    for (int i = 0; i < count; ++i) {
        const auto byte = static_cast<std::int8_t>(bytes[i]);
        if (byte == 0)
            continue;
        // Sign extension to 16 bits is what maps 0x80..0xFF onto U+FF80..U+FFFF.
        logText += static_cast<char16_t>(static_cast<std::int16_t>(byte));
    }
}
