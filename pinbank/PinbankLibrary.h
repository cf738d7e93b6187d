#pragma once

#include "platform/AttachReason.h"

#include <cstdint>

class GpioCharDevice;
class GpioRegisters;

// The library's process-wide state and its entry function, kept out of the shared object's export file
// so tests can drive every attach reason directly.
//
// ProcessAttach and ThreadAttach read the board file and make the library's object when none exists:
// GpioRegisters (which maps its window) when the file names no pin, GpioLines (which requests the named
// lines) when it does; an object whose mapping or requests failed is kept. ThreadDetach does nothing.
// ProcessDetach turns later calls away and, when no call is in progress on another thread, destroys
// the object, releasing the window, and clears the pointer; a call still in progress keeps them (the
// process is ending). Always returns true, so the library loads even when the registers are out of
// reach. On Linux the loader only delivers the two process reasons (see AttachReason.h): the object is
// made once, at load.
bool PinbankEntry(AttachReason reason);

// The process-wide register object, or null before attach, after detach, when it could not be allocated,
// or when the board file sends the pins to the GPIO character device.
GpioRegisters* PinbankObject();

// For tests: the next attaches reach GPIO chips through `device` instead of the kernel (null: the
// kernel again). The shared library does not export it.
void UseGpioCharDevice(GpioCharDevice* device);

// What the exports do: without an object (or without a window), or once detached, reads give 0 and
// writes do nothing. Safe to call from any thread while another detaches.
std::int32_t PinbankGetInput(std::int32_t pin);
void PinbankSetOutput(std::int32_t pin, std::int32_t level);
