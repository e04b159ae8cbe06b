#pragma once

#include <atomic>
#include <cstdint>

// Smooths the deck's speed and models a platter under a hand. Outside scratching the output
// follows the requested speed at a limited slope (a change of 1.0 takes 63 ticks), so tempo,
// wind, bend and reverse changes brake and speed up like a turntable instead of jumping. In
// platter mode the requested speed is ignored: a hand target moves with the scratch input, the
// hand follows it at a limited velocity, and a damped spring drags the platter after the hand;
// the platter's velocity is the speed.
//
// Thread: the audio thread (the control dispatch runs there between ticks); MarkReset from any
// thread, since play and pause may come from the user-interface thread.
class CScratchFilter {
public:
    // Speed for this tick from the requested speed; called once per tick.
    float Run(float speed) noexcept;
    // Mode 1 input: moves the hand target by delta (control units around 0).
    void Push(float delta) noexcept;
    // Switching on from off hands the current speed over to the platter.
    void Enable(bool enabled) noexcept;
    // The next Run takes the requested speed at once.
    void MarkReset() noexcept { m_resetPending.store(true, std::memory_order_relaxed); }

    bool Enabled() const noexcept { return m_enabled != 0; }
    float Output() const noexcept { return m_output; }

private:
    uint8_t m_enabled = 0;
    std::atomic<bool> m_resetPending{false};
    float m_handPosition = 0; // platter-speed units integrated per tick
    float m_handTarget = 0;
    float m_handVelocity = 0; // per tick, at most 13.5449735 either way
    float m_platterPosition = 0;
    float m_platterVelocity = 0;
    float m_output = 0; // speed, 1.0 = the track's own
};
