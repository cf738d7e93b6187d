#include "pinbank/pinbank.h"

#include "pinbank/PinbankLibrary.h"
#include "platform/WithoutExceptions.h"

#define PINBANK_EXPORT __attribute__((visibility("default")))

namespace {

// The Linux counterpart of the loader's entry point: the constructor runs when the library is loaded,
// the destructor when it is unloaded. There is no per-thread callback on Linux.
__attribute__((constructor)) void AttachToProcess()
{
    WithoutExceptions(false, [] { return PinbankEntry(AttachReason::ProcessAttach); });
}

__attribute__((destructor)) void DetachFromProcess()
{
    WithoutExceptions(false, [] { return PinbankEntry(AttachReason::ProcessDetach); });
}

}

extern "C" PINBANK_EXPORT int32_t GetGPInput(int32_t pin)
{
    return WithoutExceptions(int32_t { 0 }, [pin] { return PinbankGetInput(pin); });
}

extern "C" PINBANK_EXPORT void SetGPOutput(int32_t pin, int32_t level)
{
    WithoutExceptions(false, [pin, level] {
        PinbankSetOutput(pin, level);
        return true;
    });
}
