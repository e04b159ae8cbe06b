#pragma once

#include "PlayerCore.h"
#include "Tick.h"

#include <array>
#include <atomic>
#include <cstdint>

// The player core as the headless renderer drives it: it works out the frame on which the mix
// ends — the last track's own end, the RUN-STOP going off, a frame asked for, or a stop request —
// without allocating on the rendering thread. What is heard when comes as the core's events.
class CRenderCore : public CPlayerCore {
public:
    static constexpr uint64_t kOpenEnd = UINT64_MAX;

    // Before the run. The mix ends at limitFrame at the latest (kOpenEnd: no limit).
    void Arm(uint64_t limitFrame) noexcept { m_endFrame.store(limitFrame); }
    // Before the first block: one Automix step asks for the first track, which is loaded at
    // once, so the mix starts with the first tick rather than a block later.
    void Prime(uint32_t refillMs);
    // Any thread, also a signal handler's: the mix ends with the tick being scheduled.
    void RequestStop() noexcept { m_stopRequested.store(true); }

    // Audio thread.
    void ScheduleTimeLine() noexcept override;
    int Render(ClientRecord& record, CAudioBus& bus, uint16_t firstTick,
               uint16_t tickCount) noexcept override;

    // Any thread.
    bool Finished() const noexcept { return FramesDone() >= EndFrame(); }
    // The frame after the last one of the mix; kOpenEnd while it is not known.
    uint64_t EndFrame() const noexcept { return m_endFrame.load(); }
    uint64_t FramesDone() const noexcept { return static_cast<uint64_t>(m_tick.load()) * kTickFrames; }
    bool StopRequested() const noexcept { return m_stopRequested.load(); }

private:
    void EndAt(uint64_t frame) noexcept;
    void FollowLastTrack(uint64_t tickFrame) noexcept;

    std::atomic<uint32_t> m_tick{0}; // ticks scheduled; read by the progress display
    std::atomic<uint64_t> m_endFrame{kOpenEnd};
    std::atomic<bool> m_stopRequested{false};
    uint64_t m_lastTrackEnd = kOpenEnd; // where the last track's audio ends, once it plays
};
