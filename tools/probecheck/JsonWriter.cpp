#include "tools/probecheck/JsonWriter.h"

#include "tools/common/Format.h"

#include <cmath>
#include <cstdint>

namespace {

// The length of the valid UTF-8 sequence that starts at text[at], or 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    std::size_t length = 0;
    std::uint32_t lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code >= lowest && code <= 0x10FFFF && !surrogate ? length : 0;
}

} // namespace

JsonWriter::JsonWriter()
{
    text.reserve(1024);
}

void JsonWriter::Key(std::string_view key)
{
    if (levels.empty())
        return;
    Level& level = levels.back();
    if (!level.empty)
        text += ',';
    level.empty = false;
    if (level.array)
        return;
    Quoted(key);
    text += ':';
}

void JsonWriter::Quoted(std::string_view value)
{
    text += '"';
    for (std::size_t at = 0; at < value.size();) {
        const auto byte = static_cast<std::uint8_t>(value[at]);
        if (byte >= 0x80) {
            const std::size_t length = Utf8SequenceLength(value, at);
            if (length > 0) {
                text.append(value.substr(at, length));
                at += length;
                continue;
            }
        }
        ++at;
        if (byte == '"' || byte == '\\') {
            text += '\\';
            text += static_cast<char>(byte);
        } else if (byte == '\n') {
            text += "\\n";
        } else if (byte == '\r') {
            text += "\\r";
        } else if (byte == '\t') {
            text += "\\t";
        } else if (byte < 0x20 || byte >= 0x7F) {
            text += Format("\\u%04x", byte);
        } else {
            text += static_cast<char>(byte);
        }
    }
    text += '"';
}

void JsonWriter::BeginObject(std::string_view key)
{
    Key(key);
    text += '{';
    levels.push_back({ false, true });
}

void JsonWriter::EndObject()
{
    levels.pop_back();
    text += '}';
}

void JsonWriter::BeginArray(std::string_view key)
{
    Key(key);
    text += '[';
    levels.push_back({ true, true });
}

void JsonWriter::EndArray()
{
    levels.pop_back();
    text += ']';
}

void JsonWriter::String(std::string_view key, std::string_view value)
{
    Key(key);
    Quoted(value);
}

void JsonWriter::Number(std::string_view key, double value, int decimals)
{
    if (!std::isfinite(value)) {
        Null(key);
        return;
    }
    Key(key);
    const std::string number = Format("%.*f", decimals, value);
    // "-0.0" reads oddly in a record; a value that rounds to zero is zero.
    if (number.find_first_not_of("-0.") == std::string::npos && number[0] == '-')
        text += number.substr(1);
    else
        text += number;
}

void JsonWriter::Number(std::string_view key, double value)
{
    if (!std::isfinite(value)) {
        Null(key);
        return;
    }
    Key(key);
    text += Format("%.15g", value);
}

void JsonWriter::Integer(std::string_view key, long long value)
{
    Key(key);
    text += std::to_string(value);
}

void JsonWriter::Bool(std::string_view key, bool value)
{
    Key(key);
    text += value ? "true" : "false";
}

void JsonWriter::Null(std::string_view key)
{
    Key(key);
    text += "null";
}
