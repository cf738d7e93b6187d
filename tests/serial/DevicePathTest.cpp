#include "serial/DevicePath.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Sets or clears one environment variable for the life of the object, then puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* variable, const char* value)
        : name(variable)
    {
        if (const char* old = std::getenv(name))
            saved = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (saved)
            setenv(name, saved->c_str(), 1);
        else
            unsetenv(name);
    }

private:
    const char* name;
    std::optional<std::string> saved;
};

} // namespace

TEST(DevicePath, ComNamesGoThroughTheirVariableElseToTheOnBoardUart)
{
    struct Case {
        const char16_t* name;
        const char* variable;
        const char* value;
        const char* path;
    };
    const Case cases[] = {
        { u"COM4:", "COM4", nullptr, "/dev/ttyS3" },
        { u"COM4:", "COM4", "/dev/ttyUSB0", "/dev/ttyUSB0" },
        { u"COM4:", "COM4", "", "/dev/ttyS3" },
        { u"COM1:", "COM1", nullptr, "/dev/ttyS0" },
        { u"COM1:", "COM1", "/dev/pts/3", "/dev/pts/3" },
        { u"com12:", "COM12", nullptr, "/dev/ttyS11" },
        { u"Com12", "COM12", "/dev/ttyACM1", "/dev/ttyACM1" },
        { u"COM256:", "COM256", nullptr, "/dev/ttyS255" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.variable) + "=" + (c.value ? c.value : "(unset)"));
        const ScopedEnv env(c.variable, c.value);
        std::string path;
        ASSERT_TRUE(DevicePath::Resolve(c.name, &path));
        EXPECT_EQ(path, c.path);
    }
}

TEST(DevicePath, AbsolutePathsAreTakenAsTheyAreInUtf8)
{
    struct Case {
        const char16_t* name;
        const char* path;
    };
    const Case cases[] = {
        { u"/dev/ttyUSB0", "/dev/ttyUSB0" },
        { u"/tmp/port\u00e9", "/tmp/port\xc3\xa9" },
        { u"/tmp/\u20ac", "/tmp/\xe2\x82\xac" },
        { u"/tmp/\U0001F600", "/tmp/\xf0\x9f\x98\x80" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string path;
        ASSERT_TRUE(DevicePath::Resolve(c.name, &path));
        EXPECT_EQ(path, c.path);
    }
}

TEST(DevicePath, AnythingElseNamesNoDevice)
{
    const ScopedEnv env("COM0", "/dev/null");
    const std::u16string lone = std::u16string(u"/dev/x") + char16_t(0xD800);
    const std::u16string reversed = std::u16string(u"/dev/") + char16_t(0xDE00) + char16_t(0xD83D);
    const std::u16string embeddedNul = std::u16string(u"/dev/tty", 8) + u'\0' + u"S0";
    const std::u16string names[]
        = { u"", u"COM", u"COM:", u"COM0:", u"COM04:", u"COM257:", u"COM4::", u"COM4:x", u"COMX:", u"COM-1:",
              u"COM+1:", u"LPT1:", u"dev/ttyS0", u"ttyUSB0", u" COM4:", lone, reversed, embeddedNul };
    for (const std::u16string& name : names) {
        SCOPED_TRACE(testing::PrintToString(name));
        std::string path = "untouched";
        EXPECT_FALSE(DevicePath::Resolve(name, &path));
        EXPECT_EQ(path, "untouched");
    }
}
