#pragma once

#include "ui/WaveFile.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

// The one background thread that plays sounds through ALSA, so the UI thread never waits for the
// device. It holds at most one waiting sound: a new one replaces it and cuts off the one playing.
class SoundPlayer {
public:
    static SoundPlayer& Instance();

    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;
    ~SoundPlayer();

    // Queues sound (nullptr: stop) and returns a ticket for WaitFor.
    std::uint64_t Play(std::shared_ptr<const WaveFile> sound);
    // Waits until the sound with this ticket has finished, was skipped or was cut off.
    void WaitFor(std::uint64_t ticket);

private:
    SoundPlayer();
    void Loop();
    void PlayOne(const WaveFile& sound, std::uint64_t ticket);
    bool ShouldStop(std::uint64_t ticket);

    std::mutex lock;
    std::condition_variable changed;
    std::shared_ptr<const WaveFile> next;
    std::uint64_t requested = 0; // ticket of the newest request
    std::uint64_t finished = 0; // every ticket up to this one is done
    bool stopping = false;
    std::thread thread; // last: starts once everything above exists
};
