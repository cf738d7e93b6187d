#include "serial/LineSettings.h"

#include "SerialTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include <termios.h>

namespace {

struct Framing {
    std::uint32_t baud;
    std::uint8_t byteSize;
    std::uint8_t stopBits;
    std::uint8_t parity;
};

std::string Describe(const Framing& f)
{
    return std::to_string(f.baud) + " " + std::to_string(f.byteSize) + " stop " + std::to_string(f.stopBits)
        + " parity " + std::to_string(f.parity);
}

} // namespace

TEST(LineSettings, RefusesCodesTheLineCannotHave)
{
    const Framing invalid[] = {
        { 0, 8, 0, 0 },
        { 9601, 8, 0, 0 },
        { 128000, 8, 0, 0 },
        { 4000001, 8, 0, 0 },
        { 9600, 4, 0, 0 },
        { 9600, 9, 0, 0 },
        { 9600, 0, 0, 0 },
        { 9600, 8, 3, 0 },
        { 9600, 8, 1, 0 }, // one and a half stop bits need five data bits
        { 9600, 5, 2, 0 }, // and five data bits cannot have two
        { 9600, 8, 0, 5 },
        { 9600, 8, 0, 255 },
    };
    for (const Framing& f : invalid) {
        SCOPED_TRACE(Describe(f));
        EXPECT_FALSE(LineSettings::IsValid(f.baud, f.byteSize, f.stopBits, f.parity));
        termios settings {};
        settings.c_cflag = CS7 | PARENB;
        EXPECT_FALSE(LineSettings::Configure(&settings, f.baud, f.byteSize, f.stopBits, f.parity));
        EXPECT_EQ(settings.c_cflag, tcflag_t(CS7 | PARENB))
            << "a refused request must leave the record alone";
    }
}

TEST(LineSettings, FramingAndRateGoIntoTheRecordAndTheDeviceTakesThem)
{
    struct Case {
        Framing framing;
        speed_t speed;
        tcflag_t size;
        bool twoStopBits;
        tcflag_t parityFlags;
    };
    const Case cases[] = {
        { { 9600, 8, 0, 0 }, B9600, CS8, false, 0 },
        { { 57600, 8, 0, 0 }, B57600, CS8, false, 0 },
        { { 50, 7, 2, 1 }, B50, CS7, true, PARENB | PARODD },
        { { 115200, 6, 0, 2 }, B115200, CS6, false, PARENB },
        { { 4800, 5, 1, 3 }, B4800, CS5, true, PARENB | PARODD | CMSPAR },
        { { 4000000, 8, 2, 4 }, B4000000, CS8, true, PARENB | CMSPAR },
        { { 134, 8, 0, 0 }, B134, CS8, false, 0 },
        { { 921600, 8, 0, 0 }, B921600, CS8, false, 0 },
    };
    serialtest::PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.framing));
        termios settings {};
        ASSERT_EQ(tcgetattr(pty.Slave(), &settings), 0);
        ASSERT_TRUE(LineSettings::Configure(
            &settings, c.framing.baud, c.framing.byteSize, c.framing.stopBits, c.framing.parity));
        EXPECT_EQ(settings.c_cflag & CSIZE, c.size);
        EXPECT_EQ((settings.c_cflag & CSTOPB) != 0, c.twoStopBits);
        EXPECT_EQ(settings.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags);

        // A pty keeps the rate and the stop and parity kind; data bits and parity enable it forces
        // to 8N, so those are checked in the record above.
        ASSERT_TRUE(LineSettings::Apply(pty.Slave(), settings));
        termios taken {};
        ASSERT_EQ(tcgetattr(pty.Slave(), &taken), 0);
        EXPECT_EQ(cfgetospeed(&taken), c.speed);
        EXPECT_EQ(cfgetispeed(&taken), c.speed);
        EXPECT_EQ((taken.c_cflag & CSTOPB) != 0, c.twoStopBits);
        EXPECT_EQ(taken.c_cflag & (PARODD | CMSPAR), c.parityFlags & (PARODD | CMSPAR));
    }
}

TEST(LineSettings, LineIsRawWithoutSoftwareFlowControlAndKeepsHardwareHandshake)
{
    serialtest::PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    for (const bool handshake : { true, false }) {
        SCOPED_TRACE(handshake ? "CTS handshake on before" : "CTS handshake off before");
        // Start from a cooked line with every translation and flow control the kernel offers.
        termios cooked {};
        ASSERT_EQ(tcgetattr(pty.Slave(), &cooked), 0);
        cooked.c_iflag |= ICRNL | INLCR | IGNCR | IXON | IXOFF | IXANY | INPCK | ISTRIP | PARMRK | BRKINT;
        cooked.c_oflag |= OPOST | ONLCR;
        cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
        cooked.c_cflag = handshake ? (cooked.c_cflag | CRTSCTS) : (cooked.c_cflag & ~CRTSCTS);
        ASSERT_EQ(tcsetattr(pty.Slave(), TCSANOW, &cooked), 0);

        termios settings {};
        ASSERT_EQ(tcgetattr(pty.Slave(), &settings), 0);
        ASSERT_TRUE(LineSettings::Configure(&settings, 9600, 8, 0, 0));
        ASSERT_TRUE(LineSettings::Apply(pty.Slave(), settings));
        termios taken {};
        ASSERT_EQ(tcgetattr(pty.Slave(), &taken), 0);

        EXPECT_EQ(taken.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | PARMRK | BRKINT), 0u)
            << "input translated";
        EXPECT_EQ(taken.c_iflag & (IXON | IXOFF | IXANY), 0u) << "XON/XOFF left on";
        EXPECT_EQ(taken.c_iflag & INPCK, 0u) << "parity checked";
        EXPECT_EQ(taken.c_oflag & OPOST, 0u) << "output processed";
        EXPECT_EQ(taken.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u) << "line discipline not raw";
        EXPECT_NE(taken.c_cflag & CREAD, 0u);
        EXPECT_NE(taken.c_cflag & CLOCAL, 0u) << "a missing carrier would hang the line up";
        EXPECT_EQ((taken.c_cflag & CRTSCTS) != 0, handshake);
        EXPECT_EQ(taken.c_cc[VMIN], 1);
        EXPECT_EQ(taken.c_cc[VTIME], 0);
    }
}
