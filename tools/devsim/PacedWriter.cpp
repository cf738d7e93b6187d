#include "tools/devsim/PacedWriter.h"

#include "tools/devsim/PseudoTerminal.h"

#include <algorithm>
#include <cmath>
#include <utility>

PacedWriter::PacedWriter(PseudoTerminal& terminal, int speed, std::size_t piece)
    : port(terminal)
    , bytesPerSecond(speed)
    , pieceBytes(piece)
{
}

void PacedWriter::Push(std::string message)
{
    if (!message.empty())
        queue.push_back(std::move(message));
}

void PacedWriter::PushNext(std::string message)
{
    if (message.empty())
        return;
    if (queue.empty() || offset == 0)
        queue.push_front(std::move(message));
    else
        queue.insert(queue.begin() + 1, std::move(message));
}

std::size_t PacedWriter::Pending() const
{
    std::size_t total = 0;
    for (const std::string& message : queue)
        total += message.size();
    return total - offset;
}

std::size_t PacedWriter::NextPiece() const
{
    return std::min(pieceBytes, Pending());
}

double PacedWriter::Credit(Clock::time_point now) const
{
    const double elapsed = std::chrono::duration<double>(now - anchor).count();
    return elapsed * bytesPerSecond - sentSinceAnchor;
}

int PacedWriter::TimeoutMs(Clock::time_point now) const
{
    if (queue.empty())
        return -1;
    if (!running)
        return 0;
    const double missing = static_cast<double>(NextPiece()) - Credit(now);
    if (missing <= 0)
        return 0;
    return std::max(1, static_cast<int>(std::ceil(missing * 1000.0 / bytesPerSecond)));
}

bool PacedWriter::Pump(Clock::time_point now)
{
    if (queue.empty()) {
        running = false;
        return true;
    }
    if (!running) {
        // A line that was idle starts sending now; the first piece still takes its time on the wire.
        running = true;
        anchor = now;
        sentSinceAnchor = 0;
    }
    const double credit = Credit(now);
    if (credit > 2.0 * static_cast<double>(pieceBytes)) {
        // The loop was held up (a stopped process, a suspended machine): carry on at line speed
        // rather than catching up in one burst.
        sentSinceAnchor += credit - static_cast<double>(pieceBytes);
    }
    // What the line carried since the last write: a piece, a little more when poll woke us late (so
    // the average stays at line speed), never more than two pieces.
    std::size_t budget = static_cast<std::size_t>(std::max(0.0, Credit(now)));
    while (budget > 0 && !queue.empty()) {
        const std::string& front = queue.front();
        const std::size_t size = std::min(budget, front.size() - offset);
        if (!port.Write(front.data() + offset, size))
            return false;
        offset += size;
        budget -= size;
        sentSinceAnchor += static_cast<double>(size);
        if (offset == front.size()) {
            queue.pop_front();
            offset = 0;
        }
    }
    if (queue.empty())
        running = false;
    return true;
}
