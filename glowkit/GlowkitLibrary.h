#pragma once

#include "platform/AttachReason.h"

#include <cstdint>

class BacklightControl;

// The library's process-wide state and its entry function. Only ProcessDetach changes anything: it
// turns later calls away and, when no call is in progress on another thread, releases both windows (the
// registers and the stored level keep their values); a call still in progress keeps them (the process
// is ending). ProcessAttach admits calls again after a detach. Always returns true.
bool GlowkitEntry(AttachReason reason);

// The process-wide backlight state, with the level -1 and no window at load. It is never destroyed.
BacklightControl& Backlight();

// What the exports InitBacklightCtrl and SetBrightness do. Once detached they touch nothing: the first
// gives 0, the second stores nothing and returns the stored level. Safe to call from any thread while
// another detaches.
std::int32_t GlowkitInitBacklightCtrl();
std::int32_t GlowkitSetBrightness(std::int32_t level);
