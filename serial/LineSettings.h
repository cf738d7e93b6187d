#pragma once

#include <cstdint>

#include <termios.h>

// The line settings of a serial device, in the termios record the kernel keeps for it.
//
// Codes follow the classic line-settings record: stop bits 0 one, 1 one and a half (only with five
// data bits, where a UART sends 1.5 for the "two" setting), 2 two (six to eight data bits);
// parity 0 none, 1 odd, 2 even, 3 mark, 4 space. Data bits are 5 to 8; the baud rate is any of the
// standard rates from 50 to 4000000.
class LineSettings {
public:
    [[nodiscard]] static bool IsValid(
        std::uint32_t baudRate, std::uint8_t byteSize, std::uint8_t stopBits, std::uint8_t parity);

    // Turns settings into a raw, binary line with the given framing: no echo, no line editing, no
    // character translation, no XON/XOFF either way, no parity checking on input, modem status lines
    // ignored for the purpose of receiving (so a missing carrier never hangs the line up). Hardware
    // handshaking stays as the device had it. Reads return as soon as one byte is there; the reader
    // does its own timing. False, with settings untouched, for codes IsValid refuses.
    [[nodiscard]] static bool Configure(termios* settings, std::uint32_t baudRate, std::uint8_t byteSize,
        std::uint8_t stopBits, std::uint8_t parity);

    // Sets the device's settings and reads them back: drivers accept a request they can only partly
    // honour (a USB adapter without mark parity, a rate its clock cannot make) and report success, so
    // false here also means "the device did not take what was asked", with errno EINVAL.
    [[nodiscard]] static bool Apply(int fd, const termios& settings);

    // Clears DTR and RTS. Devices without modem-control lines (pseudo-terminals) refuse the request,
    // which is no error for us, so there is nothing to report.
    static void LowerModemLines(int fd);

private:
    static bool SpeedFor(std::uint32_t baudRate, speed_t* speed);
    static bool SizeFor(std::uint8_t byteSize, tcflag_t* size);
};
