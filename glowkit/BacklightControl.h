#pragma once

#include <atomic>
#include <cstdint>

class RegisterWindow;

// The backlight library's state (the stored level and the two register windows) and its register
// sequences. The backlight drive line is GPIO port 0x10 line 1, switched between the PWM timer and a
// plain output; the power enable is line 2 of the same port, whose mode the GPIO library owns.
// Not thread-safe: callers serialise InitBacklightCtrl and SetBrightness. The level alone is atomic, so
// GetBrightness may run on any thread at any time.
class BacklightControl {
public:
    constexpr BacklightControl() = default;
    BacklightControl(const BacklightControl&) = delete;
    BacklightControl& operator=(const BacklightControl&) = delete;
    ~BacklightControl();

    // 1 when both windows are mapped (at once if they already were), 0 when one could not be mapped.
    // A window already mapped is kept, so the next call maps only what is missing.
    std::int32_t InitBacklightCtrl();

    std::int32_t GetBrightness() const { return level.load(std::memory_order_relaxed); }

    // Stores `newLevel` and returns the previous level. Without both windows (before a successful
    // InitBacklightCtrl, or after ReleaseWindows) it touches nothing and stores nothing.
    std::int32_t SetBrightness(std::int32_t newLevel);

    // The timer helpers need both windows mapped.
    // Prescaler 0..255 into the prescaler word; divider code 1..4 selects field 0..3, anything else 4.
    void SetTimerClock(std::uint32_t prescaler, std::uint32_t dividerCode);
    // Writes the count buffer when `count` fits in 16 bits; otherwise writes nothing.
    void SetTimerCount(std::uint32_t count);
    // Puts line 1 on the timer and starts the backlight timer.
    void StartBacklightPwm();
    // Writes the compare buffer when `value` fits in 16 bits; otherwise writes nothing.
    void SetTimerCompare(std::uint32_t value);

    // Unmaps both windows (GPIO first). The registers and the stored level keep their values.
    void ReleaseWindows();

private:
    bool HasWindows() const { return gpioWindow && timerWindow; }
    RegisterWindow Gpio() const;
    RegisterWindow Timer() const;

    std::atomic<std::int32_t> level { -1 };
    void* gpioWindow = nullptr;
    void* timerWindow = nullptr;
};
