#pragma once

#include "ModemPty.h"
#include "cellprobe/CellprobeDialog.h"
#include "ui/DialogDriver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

// What the program writes next: waits, with the dialog's events running, until count bytes came.
inline std::string Written(DialogDriver& driver, ModemPty& modem, std::size_t count)
{
    driver.WaitUntil([&] {
        modem.Poll();
        return modem.Pending() >= count;
    });
    return modem.Take();
}

// Whatever the program writes within a short while; empty when it stays quiet.
inline std::string QuietlyWritten(DialogDriver& driver, ModemPty& modem)
{
    driver.WaitUntil(
        [&] {
            modem.Poll();
            return modem.Pending() > 0;
        },
        std::chrono::milliseconds(300));
    return modem.Take();
}

// The window's close request: the dialog ends cancelled, drops its port, and the module sees it go.
inline void CloseAndExpectThePortReleased(DialogDriver& driver, CellprobeDialog& dialog, ModemPty& modem)
{
    driver.CloseButton();
    EXPECT_TRUE(driver.IsEnded());
    EXPECT_EQ(driver.Result(), IDCANCEL);
    EXPECT_FALSE(dialog.HasPort());
    EXPECT_TRUE(driver.WaitUntil([&] {
        modem.Poll();
        return modem.HungUp();
    }));
}
