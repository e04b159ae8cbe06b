#pragma once

#include <chrono>
#include <cstdint>

class CPlayerCore;

// A DJ controller's hand on the cross-fader. The mouse holds Automix off from its press to its
// release (CMixerPanel); a controller's fader has no release, so the first message that moves it
// takes the same hold and the hold goes once the fader has rested kIdle. While it is held,
// Automix does not move the cross-fader and a Mix-File that plays leaves it to the controller.
//
// Threads: user-interface thread only, as Automix's hold is taken by the mouse.
class CControllerFaderHold {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kIdle{2000};

    // core outlives the hold.
    explicit CControllerFaderHold(CPlayerCore& core);
    // A hold still taken is given back.
    ~CControllerFaderHold();
    CControllerFaderHold(const CControllerFaderHold&) = delete;
    CControllerFaderHold& operator=(const CControllerFaderHold&) = delete;

    // Every display tick: messages is the count of cross-fader messages so far
    // (CMidiControllers::CrossFaderMessages), which only grows.
    void Poll(uint64_t messages, Clock::time_point now);
    bool Held() const noexcept { return m_held; }

private:
    void Release();

    CPlayerCore& m_core;
    uint64_t m_messages = 0;
    bool m_held = false;
    Clock::time_point m_lastMove;
};
