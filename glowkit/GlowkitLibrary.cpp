#include "glowkit/GlowkitLibrary.h"

#include "glowkit/BacklightControl.h"

namespace {

constinit BacklightControl backlight;

}

bool GlowkitEntry(AttachReason reason)
{
    if (reason == AttachReason::ProcessDetach)
        backlight.ReleaseWindows();
    return true;
}

BacklightControl& Backlight()
{
    return backlight;
}
