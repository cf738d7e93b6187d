#pragma once

#include "ui/WideString.h"

#include <QString>

// Both sides hold UTF-16 code units, so text crosses unchanged (no validation, no normalisation).
inline QString ToQString(const WideString& text)
{
    return QString::fromUtf16(text.c_str(), text.GetLength());
}

inline WideString FromQString(const QString& text)
{
    return WideString(std::u16string_view(
        reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())));
}
