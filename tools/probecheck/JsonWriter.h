#pragma once

#include <string>
#include <string_view>
#include <vector>

// Builds one JSON text on a single line, so a shell loop can append one record per device to a file
// and read them back line by line. Keys are ignored for the members of an array. Strings may hold any
// bytes: valid UTF-8 passes as it is, control characters are escaped, and a byte that is not part of
// valid UTF-8 (a modem's line noise) becomes the character of the same number, so the text stays
// valid JSON and nothing is silently dropped.
class JsonWriter {
public:
    JsonWriter();

    void BeginObject(std::string_view key = {});
    void EndObject();
    void BeginArray(std::string_view key);
    void EndArray();

    void String(std::string_view key, std::string_view value);
    // A number with the given digits after the point; NaN and infinities become null.
    void Number(std::string_view key, double value, int decimals);
    // As above, with as many digits as the value needs: a limit exactly as it was given.
    void Number(std::string_view key, double value);
    void Integer(std::string_view key, long long value);
    void Bool(std::string_view key, bool value);
    void Null(std::string_view key);

    const std::string& Text() const { return text; }

private:
    void Key(std::string_view key);
    void Quoted(std::string_view value);

    std::string text;
    // One entry per open object or array: whether it is an array, and whether it is still empty.
    struct Level {
        bool array;
        bool empty;
    };
    std::vector<Level> levels;
};
