#pragma once

#include "platform/AttachReason.h"

class BacklightControl;

// The library's process-wide state and its entry function. Only ProcessDetach does anything: it
// releases both windows (the registers and the stored level keep their values). Always returns true.
bool GlowkitEntry(AttachReason reason);

// The process-wide backlight state, with the level -1 and no window at load.
BacklightControl& Backlight();
