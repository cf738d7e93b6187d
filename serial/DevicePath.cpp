#include "serial/DevicePath.h"

#include <cstdint>
#include <cstdlib>

namespace {

constexpr unsigned HighestComNumber = 256;

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendUtf8(std::uint32_t codePoint, std::string* utf8)
{
    if (codePoint < 0x80) {
        utf8->push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        utf8->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        utf8->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        utf8->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        utf8->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        utf8->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        utf8->push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        utf8->push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        utf8->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        utf8->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

} // namespace

bool DevicePath::Resolve(std::u16string_view name, std::string* path)
{
    unsigned number = 0;
    if (ParseComNumber(name, &number)) {
        const std::string variable = "COM" + std::to_string(number);
        const char* configured = std::getenv(variable.c_str());
        if (configured && *configured)
            *path = configured;
        else
            *path = "/dev/ttyS" + std::to_string(number - 1);
        return true;
    }
    if (name.empty() || name.front() != u'/')
        return false;
    std::string utf8;
    if (!ToUtf8(name, &utf8))
        return false;
    *path = std::move(utf8);
    return true;
}

bool DevicePath::ParseComNumber(std::u16string_view name, unsigned* number)
{
    if (name.size() < 4)
        return false;
    const char16_t* prefix = u"COM";
    for (std::size_t i = 0; i < 3; ++i) {
        const char16_t upper = (name[i] >= u'a' && name[i] <= u'z') ? name[i] - (u'a' - u'A') : name[i];
        if (upper != prefix[i])
            return false;
    }
    std::u16string_view digits = name.substr(3);
    if (digits.back() == u':')
        digits.remove_suffix(1);
    // No sign, no leading zero: "COM04:" is more likely a typing error than a port.
    if (digits.empty() || digits.front() == u'0' || digits.size() > 3)
        return false;
    unsigned value = 0;
    for (const char16_t digit : digits) {
        if (digit < u'0' || digit > u'9')
            return false;
        value = value * 10 + static_cast<unsigned>(digit - u'0');
    }
    if (value > HighestComNumber)
        return false;
    *number = value;
    return true;
}

bool DevicePath::ToUtf8(std::u16string_view text, std::string* utf8)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit == 0 || IsLowSurrogate(unit))
            return false;
        if (!IsHighSurrogate(unit)) {
            AppendUtf8(unit, utf8);
            continue;
        }
        if (i + 1 == text.size() || !IsLowSurrogate(text[i + 1]))
            return false;
        const std::uint32_t codePoint = 0x10000 + ((unit - 0xD800u) << 10) + (text[i + 1] - 0xDC00u);
        AppendUtf8(codePoint, utf8);
        ++i;
    }
    return true;
}
