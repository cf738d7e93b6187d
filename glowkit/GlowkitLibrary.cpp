#include "glowkit/GlowkitLibrary.h"

#include "glowkit/BacklightControl.h"
#include "platform/CallerGate.h"
#include "platform/RegisterObserver.h"

namespace {

// Never destroyed by the C++ runtime: at process exit a caller's thread may still be inside
// SetBrightness, and the unload hook, not a static destructor, decides whether the windows go.
union LibraryState {
    constexpr LibraryState()
        : backlight()
    {
    }
    ~LibraryState() { }

    BacklightControl backlight;
};

constinit LibraryState state;
constinit CallerGate gate;

}

bool GlowkitEntry(AttachReason reason)
{
    if (reason == AttachReason::ProcessAttach)
        gate.Open();
    // At process exit the program's other threads may still be inside an export. Only when none is do
    // the windows go; otherwise they stay for them, and the kernel releases them as the process ends.
    if (reason == AttachReason::ProcessDetach && gate.Close()) {
        state.backlight.ReleaseWindows();
        registerobserver::ReleaseTrace();
    }
    return true;
}

BacklightControl& Backlight()
{
    return state.backlight;
}

std::int32_t GlowkitInitBacklightCtrl()
{
    const CallerGate::Pass pass(gate);
    return pass.Admitted() ? state.backlight.InitBacklightCtrl() : 0;
}

std::int32_t GlowkitSetBrightness(std::int32_t level)
{
    const CallerGate::Pass pass(gate);
    return pass.Admitted() ? state.backlight.SetBrightness(level) : state.backlight.GetBrightness();
}
