#include "ui/WideString.h"

#include <charconv>
#include <cstdint>

WideString::WideString(const char16_t* other)
    : text(other ? other : u"")
{
}

WideString::WideString(std::u16string_view other)
    : text(other)
{
}

WideString WideString::FromAscii(std::string_view bytes)
{
    WideString result;
    result.text.reserve(bytes.size());
    for (const char byte : bytes)
        result.text.push_back(static_cast<char16_t>(static_cast<unsigned char>(byte)));
    return result;
}

WideString& WideString::operator=(const char16_t* other)
{
    text = other ? other : u"";
    return *this;
}

WideString& WideString::operator+=(char16_t character)
{
    text.push_back(character);
    return *this;
}

WideString& WideString::operator+=(const WideString& other)
{
    text += other.text;
    return *this;
}

WideString& WideString::operator+=(const char16_t* other)
{
    if (other)
        text += other;
    return *this;
}

int WideString::Find(const WideString& what, int start) const
{
    if (start < 0 || start > GetLength())
        return -1;
    const std::size_t found = text.find(what.text, static_cast<std::size_t>(start));
    return found == std::u16string::npos ? -1 : static_cast<int>(found);
}

WideString WideString::Mid(int start, int count) const
{
    if (start < 0)
        start = 0;
    if (count <= 0 || start >= GetLength())
        return {};
    return WideString(
        std::u16string_view(text).substr(static_cast<std::size_t>(start), static_cast<std::size_t>(count)));
}

int WideString::Delete(int start, int count)
{
    if (start < 0)
        start = 0;
    if (count > 0 && start < GetLength())
        text.erase(static_cast<std::size_t>(start), static_cast<std::size_t>(count));
    return GetLength();
}

std::string WideString::ToAscii() const
{
    std::string bytes;
    bytes.reserve(text.size());
    for (const char16_t character : text)
        bytes.push_back(character < 0x80 ? static_cast<char>(character) : '?');
    return bytes;
}

void WideString::Format(const char16_t* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    FormatV(format, arguments);
    va_end(arguments);
}

namespace {

struct FieldFormat {
    bool leftAlign = false;
    bool zeroPad = false;
    int width = 0;
    int precision = -1;
};

void AppendPadded(std::u16string& out, std::u16string_view body, const FieldFormat& field, bool numeric)
{
    const int pad = field.width - static_cast<int>(body.size());
    if (pad <= 0) {
        out += body;
        return;
    }
    if (field.leftAlign) {
        out += body;
        out.append(static_cast<std::size_t>(pad), u' ');
        return;
    }
    if (field.zeroPad && numeric) {
        // Zeros go between a sign and the digits.
        std::size_t signLength = (!body.empty() && (body[0] == u'-' || body[0] == u'+')) ? 1 : 0;
        out += body.substr(0, signLength);
        out.append(static_cast<std::size_t>(pad), u'0');
        out += body.substr(signLength);
        return;
    }
    out.append(static_cast<std::size_t>(pad), u' ');
    out += body;
}

std::u16string Widen(const char* begin, const char* end)
{
    std::u16string wide;
    for (const char* p = begin; p != end; ++p)
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
    return wide;
}

template <typename Number> std::u16string Integer(Number value, int base)
{
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value, base);
    return Widen(digits, result.ptr);
}

std::u16string Fixed(double value, int precision)
{
    char digits[400];
    const auto result
        = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, precision);
    if (result.ec != std::errc {})
        return u"?";
    return Widen(digits, result.ptr);
}

} // namespace

void WideString::FormatV(const char16_t* format, std::va_list arguments)
{
    text.clear();
    if (!format)
        return;
    for (const char16_t* p = format; *p; ++p) {
        if (*p != u'%') {
            text.push_back(*p);
            continue;
        }
        ++p;
        FieldFormat field;
        for (;; ++p) {
            if (*p == u'-')
                field.leftAlign = true;
            else if (*p == u'0')
                field.zeroPad = true;
            else
                break;
        }
        while (*p >= u'0' && *p <= u'9')
            field.width = field.width * 10 + (*p++ - u'0');
        if (*p == u'.') {
            field.precision = 0;
            ++p;
            while (*p >= u'0' && *p <= u'9')
                field.precision = field.precision * 10 + (*p++ - u'0');
        }
        switch (*p) {
        case u'%':
            text.push_back(u'%');
            break;
        case u'c': {
            const char16_t character = static_cast<char16_t>(va_arg(arguments, int));
            if (character == 0)
                return;
            AppendPadded(text, std::u16string_view(&character, 1), field, false);
            break;
        }
        case u'd':
        case u'i':
            AppendPadded(text, Integer(va_arg(arguments, int), 10), field, true);
            break;
        case u'u':
            AppendPadded(text, Integer(va_arg(arguments, unsigned), 10), field, true);
            break;
        case u'x':
            AppendPadded(text, Integer(va_arg(arguments, unsigned), 16), field, true);
            break;
        case u'f':
            AppendPadded(text, Fixed(va_arg(arguments, double), field.precision < 0 ? 6 : field.precision),
                field, true);
            break;
        case u's': {
            const char16_t* string = va_arg(arguments, const char16_t*);
            std::u16string_view body = string ? std::u16string_view(string) : std::u16string_view(u"(null)");
            if (field.precision >= 0 && body.size() > static_cast<std::size_t>(field.precision))
                body = body.substr(0, static_cast<std::size_t>(field.precision));
            AppendPadded(text, body, field, false);
            break;
        }
        case 0:
            return; // a lone '%' at the end
        default:
            // Unknown conversions are shown as written rather than guessed at.
            text.push_back(u'%');
            text.push_back(*p);
            break;
        }
    }
}
