#include "pinbank/PinbankLibrary.h"

#include "pinbank/GpioRegisters.h"
#include "platform/CallerGate.h"
#include "platform/RegisterObserver.h"

#include <new>

namespace {

// Created and deleted by hand because its lifetime is the loader's attach and detach, not a scope.
constinit GpioRegisters* gpioRegisters = nullptr;
constinit CallerGate gate;

}

bool PinbankEntry(AttachReason reason)
{
    switch (reason) {
    case AttachReason::ProcessAttach:
    case AttachReason::ThreadAttach:
        // A failed allocation leaves the pointer null; the next attach tries again.
        if (!gpioRegisters)
            gpioRegisters = new (std::nothrow) GpioRegisters;
        gate.Open();
        break;
    case AttachReason::ThreadDetach:
        break;
    case AttachReason::ProcessDetach:
        // At process exit the program's other threads may still be inside an export. Only when none is
        // does the window go; otherwise the object and its window stay for them, and the kernel releases
        // the mapping as the process ends.
        if (gate.Close()) {
            delete gpioRegisters;
            gpioRegisters = nullptr;
            registerobserver::ReleaseTrace();
        }
        break;
    }
    return true;
}

GpioRegisters* PinbankObject()
{
    return gpioRegisters;
}

std::int32_t PinbankGetInput(std::int32_t pin)
{
    const CallerGate::Pass pass(gate);
    return pass.Admitted() && gpioRegisters ? gpioRegisters->GetInput(pin) : 0;
}

void PinbankSetOutput(std::int32_t pin, std::int32_t level)
{
    const CallerGate::Pass pass(gate);
    if (pass.Admitted() && gpioRegisters)
        gpioRegisters->SetOutput(pin, level);
}
