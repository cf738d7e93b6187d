#pragma once

#include "tools/common/PinWire.h"

#include <string>
#include <vector>

// Loopback wires on the simulated board, as a test fixture makes them with real wires: whatever level
// an output pin of the GPIO library drives shows on the input pin it is wired to. The board is the
// shared GPIO register file, so the copy is seen by every program that has it mapped. An input may be
// stuck at a level instead, as a broken buffer or a short to a supply rail leaves it, whatever is
// driven on the wire that feeds it.
class BoardWiring {
public:
    struct StuckInput {
        int input; // 0 to 3
        bool high;
    };

    // How often the levels are copied: a level driven on an output shows on its input within this.
    static constexpr int StepMs = 2;

    BoardWiring(std::vector<PinWire> wires, std::vector<StuckInput> stuck);
    BoardWiring(const BoardWiring&) = delete;
    BoardWiring& operator=(const BoardWiring&) = delete;
    ~BoardWiring();

    // Maps the GPIO register file of the board in dir the way the libraries do, creating it zero-filled
    // when it is missing. Never reaches real registers, whatever the environment says. False with a
    // message when the file cannot be mapped.
    [[nodiscard]] bool Open(const std::string& dir, std::string* error);

    // Copies each wire's output level onto its input, and holds each stuck input at its level. A data
    // word is written only when an input's level has to change, so an idle board sees no writes of ours.
    void Step();

private:
    void Drive(int input, bool high) const;

    std::vector<PinWire> wires;
    std::vector<StuckInput> stuck;
    void* window = nullptr;
};
