#include "pinbank/PinbankLibrary.h"

#include "pinbank/GpioRegisters.h"

#include <new>

namespace {

// Created and deleted by hand because its lifetime is the loader's attach and detach, not a scope.
constinit GpioRegisters* gpioRegisters = nullptr;

}

bool PinbankEntry(AttachReason reason)
{
    switch (reason) {
    case AttachReason::ProcessAttach:
    case AttachReason::ThreadAttach:
        // A failed allocation leaves the pointer null; the next attach tries again.
        if (!gpioRegisters)
            gpioRegisters = new (std::nothrow) GpioRegisters;
        break;
    case AttachReason::ThreadDetach:
        break;
    case AttachReason::ProcessDetach:
        delete gpioRegisters;
        gpioRegisters = nullptr;
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
    return gpioRegisters ? gpioRegisters->GetInput(pin) : 0;
}

void PinbankSetOutput(std::int32_t pin, std::int32_t level)
{
    if (gpioRegisters)
        gpioRegisters->SetOutput(pin, level);
}
