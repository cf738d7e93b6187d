#pragma once

#include "platform/AttachReason.h"

#include <cstdint>

class GpioRegisters;

// The library's process-wide state and its entry function, kept out of the shared object's export file
// so tests can drive every attach reason directly.
//
// ProcessAttach and ThreadAttach create the GpioRegisters object (which maps its window) when none
// exists; an object whose mapping failed is kept, with no window. ThreadDetach does nothing.
// ProcessDetach turns later calls away and, when no call is in progress on another thread, destroys
// the object, releasing the window, and clears the pointer; a call still in progress keeps them (the
// process is ending). Always returns true, so the library loads even when the registers are out of
// reach. On Linux the loader only delivers the two process reasons (see AttachReason.h): the object is
// made once, at load.
bool PinbankEntry(AttachReason reason);

// The process-wide object, or null before attach, after detach, or when it could not be allocated.
GpioRegisters* PinbankObject();

// What the exports do: without an object (or without a window), or once detached, reads give 0 and
// writes do nothing. Safe to call from any thread while another detaches.
std::int32_t PinbankGetInput(std::int32_t pin);
void PinbankSetOutput(std::int32_t pin, std::int32_t level);
