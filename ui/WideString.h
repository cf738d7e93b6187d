#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

// The 16-bit text the dialogs hold. Bytes from a serial line become characters one to one, and
// commands go back out as the low 8 bits of each character, so this type never transcodes.
class WideString {
public:
    WideString() = default;
    WideString(const char16_t* text);
    WideString(std::u16string_view text);

    // Widens each byte by itself (0x41 becomes U+0041); for ASCII texts and tests.
    static WideString FromAscii(std::string_view text);

    int GetLength() const { return static_cast<int>(text.size()); }
    bool IsEmpty() const { return text.empty(); }
    void Empty() { text.clear(); }
    char16_t GetAt(int index) const { return text[static_cast<std::size_t>(index)]; }
    const char16_t* c_str() const { return text.c_str(); }
    std::u16string_view View() const { return text; }

    WideString& operator=(const char16_t* other);
    WideString& operator+=(char16_t character);
    WideString& operator+=(const WideString& other);
    WideString& operator+=(const char16_t* other);
    bool operator==(const WideString& other) const = default;

    // Position of the first occurrence of what at or after start, or -1. An empty what is found at start.
    int Find(const WideString& what, int start = 0) const;
    // Up to count characters from start; parts outside the text are left out.
    WideString Mid(int start, int count) const;
    // Removes up to count characters from start (parts outside the text are left alone); returns the
    // new length.
    int Delete(int start, int count);

    // printf-style formatting of %c (an int holding one character), %d and %u (int), %x (unsigned),
    // %f with optional precision (double), %s (const char16_t*) and %%, with optional '-' and '0'
    // flags and a width. A %c whose character is 0 ends the text right there, as the wide printf the
    // programs were written against does; the dialogs rely on it to show nothing for empty fields.
    // Numbers always use '.' as the decimal point, whatever the process locale says.
    void Format(const char16_t* format, ...);
    void FormatV(const char16_t* format, std::va_list arguments);

    // The ASCII part of the text as bytes (other characters become '?'); for tests and diagnostics.
    std::string ToAscii() const;

private:
    std::u16string text;
};
