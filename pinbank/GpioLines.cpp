#include "pinbank/GpioLines.h"

#include "pinbank/PinTable.h"
#include "platform/BoardFile.h"
#include "platform/ReportProblem.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace {

constexpr const char* Source = "pinbank";

constexpr bool BoardFileKnowsEveryPin()
{
    for (const PinLine& entry : PinTable) {
        if (!BoardFile::IsLibraryPin(entry.pin))
            return false;
    }
    return true;
}
static_assert(BoardFileKnowsEveryPin(), "the board file must accept every pin of the pin table");

}

GpioLines::GpioLines(const BoardFile& board, GpioCharDevice& device)
{
    GpioLineFinder finder(device);
    for (const PinLine& entry : PinTable)
        Take(board, entry.pin, entry.direction == PinDirection::Output, device, finder);
}

void GpioLines::Take(
    const BoardFile& board, std::int32_t pin, bool output, GpioCharDevice& device, GpioLineFinder& finder)
{
    const BoardFile::Pin* source = board.PinSource(pin);
    if (!source)
        return;
    HeldPin candidate { pin, output, {}, {} };
    std::string problem;
    bool taken = finder.Find(*source, &candidate.line, &problem);
    for (const HeldPin& other : held) {
        if (taken && other.line.chipName == candidate.line.chipName
            && other.line.offset == candidate.line.offset) {
            problem = GpioLineFinder::Describe(candidate.line) + " is pin " + std::to_string(other.pin)
                + "'s already";
            taken = false;
        }
    }
    taken = taken && candidate.request.Request(device, candidate.line, output, &problem);
    if (!taken) {
        ReportProblemFrom(Source, "pin %d (line %d of %s): %s; it stays out of reach", pin,
            source->lineNumber, board.Path().c_str(), problem.c_str());
        return;
    }
    held.push_back(std::move(candidate));
}

const GpioLines::HeldPin* GpioLines::Find(std::int32_t pin) const
{
    for (const HeldPin& entry : held) {
        if (entry.pin == pin)
            return &entry;
    }
    return nullptr;
}

std::int32_t GpioLines::GetInput(std::int32_t pin)
{
    const HeldPin* entry = Find(pin);
    std::int32_t level = 0;
    if (entry && !entry->request.Get(&level)) {
        ReportProblemFrom(Source, "cannot read pin %d (%s): %s", pin,
            GpioLineFinder::Describe(entry->line).c_str(), std::strerror(errno));
        return 0;
    }
    return level;
}

void GpioLines::SetOutput(std::int32_t pin, std::int32_t level)
{
    const HeldPin* entry = Find(pin);
    if (!entry || !entry->output)
        return;
    if (!entry->request.Set(level)) {
        ReportProblemFrom(Source, "cannot drive pin %d (%s): %s", pin,
            GpioLineFinder::Describe(entry->line).c_str(), std::strerror(errno));
    }
}
