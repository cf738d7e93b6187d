#pragma once

#include "ui/MessageTypes.h"

constexpr UINT SND_SYNC = 0x0000;
constexpr UINT SND_ASYNC = 0x0001;

// Plays a PCM WAV file (8 or 16 bits, mono or stereo) on the default sound device. A relative name is
// looked up next to the executable, then in <prefix>/share/<program>/ (an installed program), then in the
// working directory. The file is read and checked
// before returning: FALSE means it was not found or is not such a file. Playback runs on a
// background thread, one sound at a time (a new one cuts off the one playing). With SND_ASYNC the
// call returns at once; without it, it waits until the sound has finished. No sound device is not an
// error: the sound is skipped without delay. A null name stops the current sound.
BOOL PlaySound(const char16_t* name, UINT flags);
