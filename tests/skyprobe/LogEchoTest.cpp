#include "skyprobe/LogEcho.h"

#include "ui/WideString.h"

#include <gtest/gtest.h>

#include <string>

TEST(LogEcho, WidensEachByteAsASignedCharacter)
{
    struct Case {
        const char* what;
        std::string bytes;
        std::u16string appended;
    };
    const Case cases[] = {
        { "text and line ends as they are", "$GP*4F\r\n", u"$GP*4F\r\n" },
        { "high bytes sign-extended", "\x7F\x80\xB5\xFF", u"\x007F\xFF80\xFFB5\xFFFF" },
        { "zero bytes add nothing", std::string("A\0\0B\0", 5), u"AB" },
        { "a chunk of nothing but zeros", std::string(3, '\0'), u"" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WideString log(u"Open GPS OK!\r\n");
        AppendEcho(log, c.bytes.data(), static_cast<int>(c.bytes.size()));
        EXPECT_TRUE(log.View() == u"Open GPS OK!\r\n" + c.appended) << log.ToAscii();
    }
}

TEST(LogEcho, NullOrEmptyChunksLeaveTheLogAlone)
{
    WideString log(u"x");
    AppendEcho(log, nullptr, 4);
    AppendEcho(log, "abc", 0);
    AppendEcho(log, "abc", -3);
    EXPECT_TRUE(log.View() == u"x");
}
