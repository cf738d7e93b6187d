#pragma once

#include <cstddef>
#include <string>

// A pseudo-terminal whose slave side stands in for a device's serial port. The simulator talks on the
// master side; the program under test opens the slave path.
//
// The simulator keeps a descriptor of its own on the slave side, so the master never sees a hang-up
// while no program has the port open: a program may close the port and open it again at any time and
// simply finds the device still talking. A real serial line keeps no backlog for a listener that is not
// there, so output that nobody reads is discarded once more than the stale limit piles up; a program that
// opens the port late gets fresh data, not minutes-old sentences.
class PseudoTerminal {
public:
    explicit PseudoTerminal(std::size_t staleLimit);
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    ~PseudoTerminal();

    // Creates the pair in raw mode (no echo, no line editing, no CR/LF translation). false with a
    // message for the user on failure; nothing is left open then.
    [[nodiscard]] bool Open(std::string* error);
    int MasterFd() const { return master; }
    const std::string& SlavePath() const { return slavePath; }

    // Reads what the program on the other side wrote, without blocking. Returns the byte count, 0 when
    // nothing is waiting, -1 on a failure of the descriptor (errno kept).
    long Read(char* buffer, std::size_t size);
    // Writes without blocking. Bytes that do not fit because nobody is reading are dropped, as on a
    // real line. Returns false only on a failure of the descriptor (errno kept).
    [[nodiscard]] bool Write(const char* data, std::size_t size);

private:
    void DropStaleOutput();

    std::size_t staleLimit;
    int master = -1;
    int slave = -1;
    std::string slavePath;
};
