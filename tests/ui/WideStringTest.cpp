#include "ui/WideString.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

std::string Formatted(const char16_t* format, auto... arguments)
{
    WideString text;
    text.Format(format, arguments...);
    return text.ToAscii();
}

} // namespace

TEST(WideString, FormatsTheConversionsTheDialogsUse)
{
    EXPECT_EQ(Formatted(u"%d", -42), "-42");
    EXPECT_EQ(Formatted(u"%.1f", 0.0), "0.0");
    EXPECT_EQ(Formatted(u"%.1f", 39.04), "39.0");
    EXPECT_EQ(Formatted(u"%.1f", 59.96), "60.0");
    EXPECT_EQ(Formatted(u"%c %dd %d' %.1f''", static_cast<int>(u'S'), 37, 51, 39.0), "S 37d 51' 39.0''");
    EXPECT_EQ(Formatted(u"ATD%s;\r", u"0123"), "ATD0123;\r");
    EXPECT_EQ(Formatted(u" %d", 45), " 45");
    EXPECT_EQ(Formatted(u"100%%"), "100%");
    EXPECT_EQ(Formatted(u"%02d|%-3d|%3d", 7, 1, 2), "07|1  |  2");
}

TEST(WideString, CharacterZeroEndsTheText)
{
    EXPECT_EQ(Formatted(u"20%c%c-%c%c-%c%c", 0, 0, 0, 0, 0, 0), "20");
    EXPECT_EQ(Formatted(u"%c%c:%c%c", '0', '8', 0, '1'), "08:");
}

TEST(WideString, DecimalPointIgnoresTheLocale)
{
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    EXPECT_EQ(Formatted(u"%.1f", 2.5), "2.5");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(WideString, FindAndMid)
{
    const WideString text = WideString::FromAscii("\r\n+CSQ: 17,99\r\n\r\nOK\r\n");
    EXPECT_EQ(text.Find(u"+CSQ:"), 2);
    EXPECT_EQ(text.Find(u"OK"), 17);
    EXPECT_EQ(text.Find(u"RING"), -1);
    EXPECT_EQ(text.Find(u"OK", 18), -1);
    EXPECT_EQ(text.Find(u"", 3), 3);
    EXPECT_EQ(text.Find(u"OK", 99), -1);
    EXPECT_EQ(text.Mid(8, 2).ToAscii(), "17");
    EXPECT_EQ(text.Mid(19, 10).ToAscii(), "\r\n");
    EXPECT_EQ(text.Mid(40, 2).GetLength(), 0);
}

TEST(WideString, AppendsCharactersAndStrings)
{
    WideString text;
    text += u'A';
    text += static_cast<char16_t>(0xFF80);
    text += WideString(u"BC");
    text += u"D";
    EXPECT_EQ(text.GetLength(), 5);
    EXPECT_EQ(text.GetAt(1), 0xFF80);
    EXPECT_EQ(text.ToAscii(), "A?BCD");
    text.Empty();
    EXPECT_TRUE(text.IsEmpty());
}
