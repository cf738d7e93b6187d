#include "ui/SoundPlayer.h"

#include <alsa/asoundlib.h>

#include <algorithm>

namespace {

// alsa-lib prints its complaints (no card, no config) to stderr unless someone takes them.
void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) { }

constexpr unsigned LatencyMicroseconds = 100000;
constexpr snd_pcm_uframes_t FramesPerWrite = 1024;

} // namespace

SoundPlayer& SoundPlayer::Instance()
{
    static SoundPlayer player;
    return player;
}

SoundPlayer::SoundPlayer()
    : thread([this] { Loop(); })
{
}

SoundPlayer::~SoundPlayer()
{
    {
        std::lock_guard guard(lock);
        stopping = true;
        next.reset();
    }
    changed.notify_all();
    thread.join();
}

std::uint64_t SoundPlayer::Play(std::shared_ptr<const WaveFile> sound)
{
    std::uint64_t ticket = 0;
    {
        std::lock_guard guard(lock);
        ticket = ++requested;
        next = std::move(sound);
    }
    changed.notify_all();
    return ticket;
}

void SoundPlayer::WaitFor(std::uint64_t ticket)
{
    std::unique_lock guard(lock);
    changed.wait(guard, [&] { return finished >= ticket || stopping; });
}

bool SoundPlayer::ShouldStop(std::uint64_t ticket)
{
    std::lock_guard guard(lock);
    return stopping || requested != ticket;
}

void SoundPlayer::Loop()
{
    snd_lib_error_set_handler(IgnoreAlsaMessage);
    for (;;) {
        std::shared_ptr<const WaveFile> sound;
        std::uint64_t ticket = 0;
        {
            std::unique_lock guard(lock);
            changed.wait(guard, [this] { return stopping || finished < requested; });
            if (stopping)
                return;
            sound = std::move(next);
            ticket = requested;
            // Requests this one replaced before they started count as done.
            finished = std::max(finished, ticket - 1);
        }
        changed.notify_all();
        if (sound)
            PlayOne(*sound, ticket);
        {
            std::lock_guard guard(lock);
            finished = std::max(finished, ticket);
        }
        changed.notify_all();
    }
}

void SoundPlayer::PlayOne(const WaveFile& sound, std::uint64_t ticket)
{
    snd_pcm_t* pcm = nullptr;
    // Non-blocking open: with no device, or a device someone else holds, this fails at once.
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return;
    const snd_pcm_format_t format = sound.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    if (snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, static_cast<unsigned>(sound.channels),
            static_cast<unsigned>(sound.sampleRate), 1, LatencyMicroseconds)
            < 0
        || snd_pcm_nonblock(pcm, 0) < 0) {
        snd_pcm_close(pcm);
        return;
    }
    const std::size_t frameBytes = static_cast<std::size_t>(sound.FrameBytes());
    const std::size_t frames = sound.FrameCount();
    std::size_t done = 0;
    // Short writes, so a newer sound or the end of the process cuts in within one write.
    while (done < frames && !ShouldStop(ticket)) {
        const snd_pcm_uframes_t count = std::min<snd_pcm_uframes_t>(FramesPerWrite, frames - done);
        const snd_pcm_sframes_t written
            = snd_pcm_writei(pcm, sound.samples.data() + done * frameBytes, count);
        if (written < 0) {
            if (snd_pcm_recover(pcm, static_cast<int>(written), 1) < 0)
                break;
            continue;
        }
        done += static_cast<std::size_t>(written);
    }
    if (ShouldStop(ticket))
        snd_pcm_drop(pcm);
    else
        snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
}
