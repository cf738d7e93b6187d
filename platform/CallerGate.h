#pragma once

#include <atomic>
#include <cstdint>

// Tells a library's unload hook whether a caller's thread may still be inside one of its exports.
//
// At process exit the loader runs the unload hook while the program's other threads keep running, so a
// thread can be half-way through a register sequence when the hook wants to unmap the window. Every
// export holds a Pass for the length of its work; the hook closes the gate and releases what the exports
// use only when nobody was inside. A caller that arrives after the gate closed is turned away and gives
// the answer of a library without registers; one that was already inside keeps the old mapping, which
// the kernel takes back when the process ends.
//
// A caller counts itself in before it looks at the gate, and the hook closes the gate before it counts,
// both sequentially consistent: either the hook sees the caller, or the caller sees the closed gate.
// No lock and no waiting, so neither side can stall the other.
class CallerGate {
public:
    class Pass {
    public:
        explicit Pass(CallerGate& owner)
            : gate(owner)
            , admitted(owner.Enter())
        {
        }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        ~Pass() { gate.inside.fetch_sub(1); }

        // False once the gate is closed: touch nothing the unload hook may have released.
        bool Admitted() const { return admitted; }

    private:
        CallerGate& gate;
        bool admitted;
    };

    constexpr CallerGate() = default;
    CallerGate(const CallerGate&) = delete;
    CallerGate& operator=(const CallerGate&) = delete;

    // Turns later callers away. True when no caller is inside, so what the exports use may be released
    // now; false when one is, and everything must stay as it is.
    [[nodiscard]] bool Close()
    {
        closed.store(true);
        return inside.load() == 0;
    }

    // Admits callers again, for an attach that follows a detach.
    void Open() { closed.store(false); }

private:
    bool Enter()
    {
        inside.fetch_add(1);
        return !closed.load();
    }

    std::atomic<std::uint32_t> inside { 0 };
    std::atomic<bool> closed { false };
};
