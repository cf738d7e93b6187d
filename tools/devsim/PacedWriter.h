#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <string>

class PseudoTerminal;

// Sends queued messages to the port no faster than a serial line of the given speed would carry them,
// in small pieces, so a program under test sees bytes arrive the way a real device delivers them
// rather than a whole second's output at once.
class PacedWriter {
public:
    using Clock = std::chrono::steady_clock;

    // bytesPerSecond: the line's speed (baud / 10 for 8N1); pieceBytes: the usual size of one write (a
    // late wake-up writes what the line carried meanwhile, at most two pieces).
    PacedWriter(PseudoTerminal& port, int bytesPerSecond, std::size_t pieceBytes);

    // Queues a message after everything already queued.
    void Push(std::string message);
    // Queues a message right after the one being sent now, so a short reply does not wait behind a
    // long report; a message is never cut into by another.
    void PushNext(std::string message);

    bool Idle() const { return queue.empty(); }
    // Bytes still to send.
    std::size_t Pending() const;
    // Milliseconds until Pump has something to send; -1 when idle.
    int TimeoutMs(Clock::time_point now) const;
    // Sends what the line has had time to carry by now. false on a failure of the port (errno kept).
    [[nodiscard]] bool Pump(Clock::time_point now);

private:
    std::size_t NextPiece() const;
    double Credit(Clock::time_point now) const;

    PseudoTerminal& port;
    double bytesPerSecond;
    std::size_t pieceBytes;
    std::deque<std::string> queue;
    std::size_t offset = 0; // bytes of queue.front() already sent
    Clock::time_point anchor {};
    double sentSinceAnchor = 0;
    bool running = false;
};
