#pragma once

#include "ModemPty.h"
#include "ui/DialogDriver.h"

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
