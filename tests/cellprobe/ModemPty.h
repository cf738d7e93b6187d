#pragma once

#include <string>
#include <string_view>

#include <termios.h>

// A pseudo-terminal standing in for the GSM module: the program opens the slave by its path (through
// the COM1 variable), the test plays the module on the master. The test holds no slave descriptor of
// its own, so once the program has opened the port, its release shows on the master as a hang-up.
//
// Poll never blocks: tests call it from a wait that keeps the dialog's events running.
class ModemPty {
public:
    ModemPty();
    ModemPty(const ModemPty&) = delete;
    ModemPty& operator=(const ModemPty&) = delete;
    ~ModemPty();

    bool IsOpen() const { return master >= 0; }
    const std::string& Path() const { return slavePath; }

    // The line settings the program gave its end; false when they cannot be read.
    bool LineSettings(termios* settings) const;

    // Writes all of text to the program; false when the pty does not take it.
    bool Send(std::string_view text);

    // Collects what the program wrote since the last call, and notices a hang-up.
    void Poll();
    std::size_t Pending() const { return received.size(); }
    // What was collected and not taken yet; forgets it.
    std::string Take();
    // True once the program had the port open and then let go of it.
    bool HungUp() const { return hungUp; }

private:
    int master = -1;
    std::string slavePath;
    std::string received;
    bool heardFromProgram = false;
    bool hungUp = false;
};
