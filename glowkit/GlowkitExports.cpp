#include "glowkit/glowkit.h"

#include "glowkit/GlowkitLibrary.h"
#include "platform/WithoutExceptions.h"

#define GLOWKIT_EXPORT __attribute__((visibility("default")))

namespace {

// The Linux counterpart of the loader's entry point (see AttachReason.h). Windows are mapped by
// InitBacklightCtrl, not at load, so only the unload does work.
__attribute__((constructor)) void AttachToProcess()
{
    WithoutExceptions(false, [] { return GlowkitEntry(AttachReason::ProcessAttach); });
}

__attribute__((destructor)) void DetachFromProcess()
{
    WithoutExceptions(false, [] { return GlowkitEntry(AttachReason::ProcessDetach); });
}

}

extern "C" GLOWKIT_EXPORT int32_t InitBacklightCtrl(void)
{
    return WithoutExceptions(int32_t { 0 }, [] { return GlowkitInitBacklightCtrl(); });
}

// Reads an atomic level only: nothing here can throw or touch a released window.
extern "C" GLOWKIT_EXPORT int32_t GetBrightness(void)
{
    return GlowkitGetBrightness();
}

extern "C" GLOWKIT_EXPORT int32_t SetBrightness(int32_t level)
{
    return WithoutExceptions(GlowkitGetBrightness(), [level] { return GlowkitSetBrightness(level); });
}
