#pragma once

#include "FileDescriptor.h"
#include "PlayPosition.h"
#include "PlayedFrameClock.h"

#include <atomic>
#include <cstdint>
#include <poll.h>
#include <thread>
#include <vector>

class CAlsaPcm;
class COutputManager;

// The pacing thread of an ALSA master: waits on the PCM and asks the manager for a block
// whenever a whole block fits in the ring, and keeps the play position that other threads
// read. It runs from Start to Stop at the highest priority the system grants.
class CAlsaPacer {
public:
    CAlsaPacer();
    ~CAlsaPacer();
    CAlsaPacer(const CAlsaPacer&) = delete;
    CAlsaPacer& operator=(const CAlsaPacer&) = delete;

    // User-interface thread.
    // Starts the thread over an opened, primed PCM; the PCM and the manager outlive it.
    // false when the thread or its wake-up descriptor cannot be made.
    bool Start(CAlsaPcm& pcm, COutputManager& manager, uint32_t blockFrames, uint32_t rateHz);
    // Waits for a thread that was told to stop.
    void Join();
    // Forgets the position: the next Start counts from 0.
    void ResetPosition() noexcept;

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

private:
    void Loop() noexcept;
    void Publish() noexcept;

    CAlsaPcm* m_pcm = nullptr;           // outlives the thread
    COutputManager* m_manager = nullptr; // outlives the thread
    uint32_t m_blockFrames = 0;
    uint32_t m_rateHz = 44100;
    CFileDescriptor m_wake;               // eventfd: Stop wakes the poll with it
    std::vector<struct pollfd> m_pollFds; // the PCM's descriptors and the wake-up, made at Start
    std::thread m_thread;
    std::atomic<std::thread::id> m_threadId{};
    std::atomic<bool> m_run{false};
    std::atomic<bool> m_deviceLost{false};
    std::atomic<bool> m_realTime{false};
    CPlayPosition m_position;  // pacing thread
    CPlayedFrameClock m_clock; // the position the pacing thread worked out
};
