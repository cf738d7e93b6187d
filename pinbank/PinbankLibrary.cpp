#include "pinbank/PinbankLibrary.h"

#include "pinbank/GpioCharDevice.h"
#include "pinbank/GpioLines.h"
#include "pinbank/GpioRegisters.h"
#include "platform/BoardFile.h"
#include "platform/CallerGate.h"
#include "platform/RegisterObserver.h"
#include "platform/ReportProblem.h"

#include <new>

namespace {

// Created and deleted by hand because their lifetime is the loader's attach and detach, not a scope. At
// most one of them exists: the board file decides the way once, at attach.
constinit GpioRegisters* gpioRegisters = nullptr;
constinit GpioLines* gpioLines = nullptr;
constinit GpioCharDevice* standIn = nullptr;
constinit CallerGate gate;

// A failed allocation leaves both pointers null; the next attach tries again.
void MakeObject()
{
    BoardFile board;
    board.Load();
    for (const std::string& message : board.Messages(BoardFile::Part::Gpio))
        ReportProblemFrom("pinbank", "%s", message.c_str());
    switch (board.GpioWay()) {
    case BoardWay::Registers:
        gpioRegisters = new (std::nothrow) GpioRegisters;
        break;
    case BoardWay::Kernel:
        gpioLines = new (std::nothrow) GpioLines(board, standIn ? *standIn : GpioCharDevice::Kernel());
        break;
    case BoardWay::OutOfReach:
        gpioLines = new (std::nothrow) GpioLines(BoardFile(), GpioCharDevice::Kernel());
        break;
    }
}

}

bool PinbankEntry(AttachReason reason)
{
    switch (reason) {
    case AttachReason::ProcessAttach:
    case AttachReason::ThreadAttach:
        if (!gpioRegisters && !gpioLines)
            MakeObject();
        gate.Open();
        break;
    case AttachReason::ThreadDetach:
        break;
    case AttachReason::ProcessDetach:
        // At process exit the program's other threads may still be inside an export. Only when none is
        // does the window (or do the lines) go; otherwise the object and what it holds stay for them, and
        // the kernel releases them as the process ends.
        if (gate.Close()) {
            delete gpioRegisters;
            gpioRegisters = nullptr;
            delete gpioLines;
            gpioLines = nullptr;
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

void UseGpioCharDevice(GpioCharDevice* device)
{
    standIn = device;
}

std::int32_t PinbankGetInput(std::int32_t pin)
{
    const CallerGate::Pass pass(gate);
    if (!pass.Admitted())
        return 0;
    if (gpioLines)
        return gpioLines->GetInput(pin);
    return gpioRegisters ? gpioRegisters->GetInput(pin) : 0;
}

void PinbankSetOutput(std::int32_t pin, std::int32_t level)
{
    const CallerGate::Pass pass(gate);
    if (!pass.Admitted())
        return;
    if (gpioLines)
        gpioLines->SetOutput(pin, level);
    else if (gpioRegisters)
        gpioRegisters->SetOutput(pin, level);
}
