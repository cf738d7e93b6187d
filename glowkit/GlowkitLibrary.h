#pragma once

#include "platform/AttachReason.h"

#include <cstdint>

class BacklightControl;

// The library's process-wide state and its entry function. Only ProcessDetach changes anything: it
// turns later calls away and, when no call is in progress on another thread, releases both windows or
// the backlight class device (the registers, the device and the stored level keep their values); a call
// still in progress keeps them (the process is ending). ProcessAttach admits calls again after a detach.
// Always returns true.
bool GlowkitEntry(AttachReason reason);

// The process-wide register backlight, with the level -1 and no window at load. It is never destroyed.
BacklightControl& Backlight();

// What the exports InitBacklightCtrl, GetBrightness and SetBrightness do. The first InitBacklightCtrl
// reads the board file: a backlight it names goes through the backlight class (BacklightClassDevice),
// one it names badly stays out of reach (init gives 0), and without one the register windows serve as
// before. Once detached they touch nothing: init gives 0, SetBrightness stores nothing and returns the
// stored level. Safe to call from any thread while another detaches; GetBrightness from any thread.
std::int32_t GlowkitInitBacklightCtrl();
std::int32_t GlowkitGetBrightness();
std::int32_t GlowkitSetBrightness(std::int32_t level);
