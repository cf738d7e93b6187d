// The GPS dialog against devsim's simulated receiver: the fix it computes reaches the fields, and the
// rate frame really changes how often the receiver reports.

#include "nmea/NmeaParser.h"
#include "serial/FaultSupport.h"
#include "skyprobe/SkyprobeDialog.h"
#include "ui/DialogDriver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string Ascii(const WideString& text)
{
    return text.ToAscii();
}

// Seconds of the day of an "hh:mm:ss" text, or -1.
int SecondOfDay(const std::string& time)
{
    int hours = 0, minutes = 0, seconds = 0;
    if (std::sscanf(time.c_str(), "%d:%d:%d", &hours, &minutes, &seconds) != 3)
        return -1;
    return hours * 3600 + minutes * 60 + seconds;
}

int UtcSecondOfDay()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc {};
    gmtime_r(&now, &utc);
    return utc.tm_hour * 3600 + utc.tm_min * 60 + utc.tm_sec;
}

// A simulated receiver behind a link in a private directory, with COM4 naming the link.
class SkyprobeAgainstDevsim : public testing::Test {
protected:
    void StartReceiver(std::vector<std::string> options)
    {
        ASSERT_FALSE(dir.path.empty());
        const std::string link = dir.path + "/COM4";
        options.insert(options.begin(), { "gps", "--link", link });
        devsim.emplace(DEVSIM_PATH, options);
        ASSERT_TRUE(devsim->FirstLine().starts_with("/dev/pts/")) << devsim->Errors();
        ::setenv("COM4", link.c_str(), 1);
    }

    fault::TemporaryDirectory dir;
    std::optional<fault::ChildProcess> devsim;
};

} // namespace

TEST_F(SkyprobeAgainstDevsim, ShowsTheSimulatedFixAndSlowsTheReceiverToTheChosenRate)
{
    ASSERT_NO_FATAL_FAILURE(StartReceiver({}));
    SkyprobeDialog dialog;
    DialogDriver driver(dialog);
    driver.Click(IdOpenClose);
    ASSERT_TRUE(dialog.isOpen) << Ascii(dialog.logText);
    EXPECT_TRUE(driver.WaitUntil(
        [&] { return devsim->Errors().find("report period now 1000 ms (ACK)") != std::string::npos; }, 10s))
        << "the receiver did not acknowledge the rate frame sent with the open:\n"
        << devsim->Errors();

    // The receiver has no fix for its first seconds; then the fields show one.
    ASSERT_TRUE(driver.WaitUntil(
        [&] {
            driver.FireTimer(RefreshTimerId);
            return driver.Text(IdFixMode) == WideString(u"3D") || driver.Text(IdFixMode) == WideString(u"2D");
        },
        60s))
        << "fix mode " << Ascii(driver.Text(IdFixMode));
    const std::string latitude = Ascii(driver.Text(IdLatitude));
    const std::string longitude = Ascii(driver.Text(IdLongitude));
    EXPECT_TRUE(latitude.starts_with("N ") || latitude.starts_with("S ")) << latitude;
    EXPECT_TRUE(longitude.starts_with("E ") || longitude.starts_with("W ")) << longitude;
    // The simulated receiver takes its time from the clock.
    const int shown = SecondOfDay(Ascii(driver.Text(IdTime)));
    const int drift = (UtcSecondOfDay() - shown + 86400) % 86400;
    EXPECT_LE(drift, 5) << "time field " << Ascii(driver.Text(IdTime));
    int visible = 0;
    for (int slot = 0; slot < SatelliteSlots; ++slot)
        visible += driver.Text(SatelliteNumberIds[slot]).IsEmpty() ? 0 : 1;
    EXPECT_GT(visible, 4) << "the simulated sky has more than four satellites";

    // Rate 5: acknowledged, and from then on the receiver reports every five seconds.
    driver.TypeText(IdRateSeconds, WideString(u"5"));
    driver.Click(IdUpdateRate);
    EXPECT_EQ(dialog.GetTimerPeriod(RefreshTimerId), 5000u);
    ASSERT_TRUE(driver.WaitUntil(
        [&] { return devsim->Errors().find("report period now 5000 ms (ACK)") != std::string::npos; }, 10s))
        << devsim->Errors();
    // Arrival times of RMC sentences, read from the echo of the stream the dialog receives.
    driver.Click(IdShowMessages);
    ASSERT_TRUE(dialog.showMessages);
    std::vector<Clock::time_point> arrivals;
    int searchedUpTo = dialog.logText.GetLength();
    driver.WaitUntil(
        [&] {
            const int found = dialog.logText.Find(u"$GPRMC", searchedUpTo);
            if (found >= 0) {
                arrivals.push_back(Clock::now());
                searchedUpTo = found + 1;
            }
            return arrivals.size() >= 3;
        },
        30s);
    ASSERT_GE(arrivals.size(), 3u) << "fewer than three reports in 30 s";
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
        const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(arrivals[i] - arrivals[i - 1]);
        // Generous: the machine is shared; a one-second receiver would give about 1000 ms.
        EXPECT_GT(gap.count(), 3500) << "report " << i;
        EXPECT_LT(gap.count(), 7500) << "report " << i;
    }

    driver.CloseButton();
    EXPECT_TRUE(driver.IsEnded());
    EXPECT_EQ(devsim->Stop(SIGINT), 0) << devsim->Errors();
}

// A $GN receiver gets one line of its own in the log per open, echo off or on; a $GP receiver none.
TEST_F(SkyprobeAgainstDevsim, AReceiverOfAnotherTalkerIsToldOncePerOpen)
{
    const WideString notice(u"\nGPS reports its position as $GN..., which this program does not decode.\r\n");
    for (const std::string talker : { "GP", "GN" }) {
        SCOPED_TRACE(talker);
        ASSERT_NO_FATAL_FAILURE(StartReceiver({ "--talker", talker }));
        SkyprobeDialog dialog;
        DialogDriver driver(dialog);
        for (int open = 1; open <= 2; ++open) {
            driver.Click(IdOpenClose);
            const NmeaParser& parser = *dialog.nmeaParser;
            const auto taken = [&] { return parser.GetDecodedCount() + parser.GetIgnoredCount(); };
            const std::uint32_t before = taken();
            ASSERT_TRUE(driver.WaitUntil([&] { return taken() - before >= 20; }, 20s)) << devsim->Errors();
            driver.Click(IdOpenClose);
            driver.Click(IdShowMessages);
            int told = 0;
            for (int at = dialog.logText.Find(notice); at >= 0; at = dialog.logText.Find(notice, at + 1))
                ++told;
            EXPECT_EQ(told, talker == "GN" ? open : 0) << Ascii(dialog.logText);
        }
        EXPECT_EQ(devsim->Stop(SIGINT), 0) << devsim->Errors();
    }
}

// A receiver that goes away (as an unplugged adapter) is reported and leaves the dialog closed; once it
// is back under the same name, Open GPS finds it and it hears the rate frame again.
TEST_F(SkyprobeAgainstDevsim, AVanishedReceiverIsLoggedClosedAndFoundAgainUnderTheSameLink)
{
    ASSERT_NO_FATAL_FAILURE(StartReceiver({ "--vanish-after", "3", "--back-after", "2" }));
    SkyprobeDialog dialog;
    DialogDriver driver(dialog);
    driver.Click(IdOpenClose);
    ASSERT_TRUE(dialog.isOpen) << Ascii(dialog.logText);
    ASSERT_TRUE(driver.WaitUntil([&] { return !dialog.isOpen; }, 15s)) << "the loss went unnoticed";
    EXPECT_EQ(dialog.logText, WideString(u"Open GPS OK!\r\nGPS Lost!\r\n"));
    EXPECT_EQ(driver.Text(IdOpenClose), WideString(u"OpenGPS"));
    EXPECT_FALSE(driver.IsEnabled(IdUpdateRate));
    EXPECT_FALSE(dialog.IsTimerRunning(RefreshTimerId));

    ASSERT_TRUE(
        driver.WaitUntil([&] { return devsim->Errors().find("receiver back") != std::string::npos; }, 10s))
        << devsim->Errors();
    driver.Click(IdOpenClose);
    ASSERT_TRUE(dialog.isOpen) << Ascii(dialog.logText);
    EXPECT_TRUE(dialog.IsTimerRunning(RefreshTimerId));
    EXPECT_TRUE(driver.WaitUntil([&] {
        const std::string errors = devsim->Errors();
        return errors.find("(ACK)", errors.find("receiver back")) != std::string::npos;
    })) << devsim->Errors();

    driver.CloseButton();
    EXPECT_TRUE(driver.IsEnded());
    EXPECT_EQ(devsim->Stop(SIGINT), 0) << devsim->Errors();
}
