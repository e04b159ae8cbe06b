#pragma once

#include "PlayedFrameClock.h"

#include <atomic>
#include <cstdint>
#include <thread>

class COutputManager;
class CPulseConnection;
class CPulseStream;

// The pacing thread of a sound-server master: a periodic timer wakes it, and whenever a whole
// block fits into the stream's buffer it asks the manager for one. Between timer ticks it
// serves the connection's loop (the server's requests and timing reports) and answers a
// request for a whole block at once. It asks for a timing report every tick, keeps the play
// position that other threads read, and runs from Start to Stop at the highest priority the
// system grants.
class CPulsePacer {
public:
    CPulsePacer() = default;
    ~CPulsePacer();
    CPulsePacer(const CPulsePacer&) = delete;
    CPulsePacer& operator=(const CPulsePacer&) = delete;

    // User-interface thread.
    // Starts the thread over an open stream that holds its first blocks; the connection, the
    // stream and the manager outlive the thread. false when the thread cannot be made.
    bool Start(CPulseConnection& connection, CPulseStream& stream, COutputManager& manager,
               uint32_t blockFrames, uint32_t periodMs);
    // Waits for a thread that was told to stop.
    void Join();
    // Forgets the position: the next answers count from 0 again.
    void ResetPosition() noexcept;

    // The thread that owns the connection's loop (the pacing thread, or the user-interface
    // thread while none runs): takes the position from the stream for Position to hand out.
    void Publish(const CPulseStream& stream) noexcept;

    // Any thread, the pacing thread included (there it only tells the loop to end, since the
    // manager stops everything from inside a block when the client is done).
    void Stop() noexcept;
    bool OnPacingThread() const noexcept { return std::this_thread::get_id() == m_threadId.load(); }
    // Frames audible so far, never less than an earlier answer since ResetPosition.
    uint32_t Position() const noexcept { return m_clock.Position(); }
    // The server or the stream went away: the thread stopped the manager's run and has ended.
    bool DeviceLost() const noexcept { return m_deviceLost.load(std::memory_order_relaxed); }
    // Whether the thread got real-time scheduling.
    bool RealTime() const noexcept { return m_realTime.load(std::memory_order_relaxed); }
    // Timer ticks since Start, and the blocks asked for (on a tick or on the server's request).
    uint32_t Ticks() const noexcept { return m_ticks.load(std::memory_order_relaxed); }
    uint32_t BlocksAsked() const noexcept { return m_blocksAsked.load(std::memory_order_relaxed); }

private:
    void Loop() noexcept;

    CPulseConnection* m_connection = nullptr; // outlives the thread
    CPulseStream* m_stream = nullptr;         // outlives the thread
    COutputManager* m_manager = nullptr;      // outlives the thread
    uint32_t m_blockFrames = 0;
    uint32_t m_periodMs = 20; // the timer's period, at least 1
    std::thread m_thread;
    std::atomic<std::thread::id> m_threadId{};
    std::atomic<bool> m_run{false};
    std::atomic<bool> m_deviceLost{false};
    std::atomic<bool> m_realTime{false};
    std::atomic<uint32_t> m_ticks{0};
    std::atomic<uint32_t> m_blocksAsked{0};
    CPlayedFrameClock m_clock; // the position taken from the stream
};
