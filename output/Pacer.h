#pragma once

#include "PlayedFrameClock.h"

#include <atomic>
#include <cstdint>
#include <thread>

class COutputManager;

// What the pacing threads of the paced drivers share: the thread, which runs from Start to
// Stop at the highest priority the system grants and asks the manager for blocks; the play
// position it publishes for other threads; and the end of the manager's run when the device
// goes away. A kind of device adds how its thread waits for room and measures the position.
class CPacer {
public:
    // A derived pacer stops and joins in its own destructor: the thread runs its Loop.
    virtual ~CPacer() = default;
    CPacer(const CPacer&) = delete;
    CPacer& operator=(const CPacer&) = delete;

    // User-interface thread.
    // Waits for a thread that was told to stop.
    void Join();
    // Forgets the position: the next Start counts from 0.
    virtual void ResetPosition() noexcept { m_clock.Reset(); }

    // Any thread, the pacing thread included (there it only tells the loop to end, since the
    // manager stops everything from inside a block when the client is done).
    void Stop() noexcept;
    bool OnPacingThread() const noexcept { return std::this_thread::get_id() == m_threadId.load(); }
    // Frames audible so far, never less than an earlier answer since ResetPosition.
    uint32_t Position() const noexcept { return m_clock.Position(); }
    // The device failed beyond recovery (it went away): the thread stopped the manager's run
    // and has ended.
    bool DeviceLost() const noexcept { return m_deviceLost.load(std::memory_order_relaxed); }
    // Whether the thread got real-time scheduling.
    bool RealTime() const noexcept { return m_realTime.load(std::memory_order_relaxed); }

protected:
    CPacer() = default;

    // User-interface thread: runs Loop on a new thread for the manager, which outlives it;
    // false when the thread cannot be made.
    bool Launch(COutputManager& manager);

    // Pacing thread.
    // Asks for blocks while Running; returns when told to stop or when the device is lost.
    virtual void Loop() noexcept = 0;
    bool Running() const noexcept { return m_run.load(std::memory_order_acquire); }
    // Nothing more will play: the run stops as when the client ends, so the manager reports it
    // no longer runs and the user-interface thread can close what it opened.
    void LoseDevice() noexcept;

    // Any thread but the pacing thread: wakes the thread from its wait so that it sees Stop.
    virtual void Wake() noexcept = 0;

    COutputManager* m_manager = nullptr; // outlives the thread
    CPlayedFrameClock m_clock;           // the position the pacing thread worked out

private:
    void Run() noexcept;

    std::thread m_thread;
    std::atomic<std::thread::id> m_threadId{};
    std::atomic<bool> m_run{false};
    std::atomic<bool> m_deviceLost{false};
    std::atomic<bool> m_realTime{false};
};
