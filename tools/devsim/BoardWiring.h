#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Loopback wires on the simulated board, as a test fixture makes them with real wires: whatever level
// an output pin of the GPIO library drives shows on the input pin it is wired to. The board is the
// shared GPIO register file, so the copy is seen by every program that has it mapped.
class BoardWiring {
public:
    struct Wire {
        int output; // 50 to 58
        int input; // 0 to 3
    };

    // How often the levels are copied: a level driven on an output shows on its input within this.
    static constexpr int StepMs = 2;

    // "OUT:IN", e.g. "54:2". False with a message for anything else, or for pins of the wrong kind.
    [[nodiscard]] static bool ParseWire(std::string_view text, Wire* wire, std::string* error);

    explicit BoardWiring(std::vector<Wire> wires);
    BoardWiring(const BoardWiring&) = delete;
    BoardWiring& operator=(const BoardWiring&) = delete;
    ~BoardWiring();

    // Maps the GPIO register file of the board in dir the way the libraries do, creating it zero-filled
    // when it is missing. Never reaches real registers, whatever the environment says. False with a
    // message when the file cannot be mapped.
    [[nodiscard]] bool Open(const std::string& dir, std::string* error);

    // Copies each wire's output level onto its input. A data word is written only when an input's level
    // has to change, so an idle board sees no writes of ours.
    void Step();

private:
    std::vector<Wire> wires;
    void* window = nullptr;
};
