#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

class CPlayerCore;

// A DJ controller's hand on the cross-fader. The mouse holds Automix off from its press to its
// release (CMixerPanel); a controller's fader has no release, so each message bound to it takes
// the same hold before its value is written, and the hold goes once the fader has rested kIdle.
// While it is held, Automix does not move the cross-fader and a Mix-File that plays leaves it to
// the controller.
//
// Threads: Touch on the MIDI thread (any thread); construction, Poll and destruction on the
// user-interface thread, which gives the hold back as the mouse's release does.
class CControllerFaderHold {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kIdle{2000};

    // core outlives the hold.
    explicit CControllerFaderHold(CPlayerCore& core);
    // A hold still taken is given back; nothing may Touch it any more.
    ~CControllerFaderHold();
    CControllerFaderHold(const CControllerFaderHold&) = delete;
    CControllerFaderHold& operator=(const CControllerFaderHold&) = delete;

    // A message of the controller's fader at now: takes the hold if it is not taken.
    void Touch(Clock::time_point now) noexcept;
    // Every display tick: gives the hold back once the fader has rested kIdle before now.
    void Poll(Clock::time_point now);
    bool Held() const noexcept { return m_lastTouch.load(std::memory_order_acquire) != kFree; }

private:
    static constexpr Clock::rep kFree = 0;

    void Release();

    CPlayerCore& m_core;
    // The last Touch (its clock count, never kFree) while the hold is taken; kFree otherwise.
    // Whoever turns it from or to kFree takes or gives the hold, so a Touch racing a release
    // either keeps the hold or takes it again.
    std::atomic<Clock::rep> m_lastTouch{kFree};
};
