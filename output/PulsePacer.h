#pragma once

#include "Pacer.h"

#include <atomic>
#include <cstdint>

class COutputManager;
class CPulseConnection;
class CPulseStream;

// The pacing thread of a sound-server master: a periodic timer wakes it, and whenever a whole
// block fits into the stream's buffer it asks the manager for one. Between timer ticks it
// serves the connection's loop (the server's requests and timing reports) and answers a
// request for a whole block at once. It asks for a timing report every tick and keeps the play
// position that other threads read.
class CPulsePacer : public CPacer {
public:
    CPulsePacer() = default;
    ~CPulsePacer() override;

    // User-interface thread.
    // Starts the thread over an open stream that holds its first blocks; the connection, the
    // stream and the manager outlive the thread. false when the thread cannot be made.
    bool Start(CPulseConnection& connection, CPulseStream& stream, COutputManager& manager,
               uint32_t blockFrames, uint32_t periodMs);

    // The thread that owns the connection's loop (the pacing thread, or the user-interface
    // thread while none runs): takes the position from the stream for Position to hand out.
    void Publish(const CPulseStream& stream) noexcept;

    // Any thread.
    // Timer ticks since Start, and the blocks asked for (on a tick or on the server's request).
    uint32_t Ticks() const noexcept { return m_ticks.load(std::memory_order_relaxed); }
    uint32_t BlocksAsked() const noexcept { return m_blocksAsked.load(std::memory_order_relaxed); }

private:
    void Loop() noexcept override;
    void Wake() noexcept override;

    CPulseConnection* m_connection = nullptr; // outlives the thread
    CPulseStream* m_stream = nullptr;         // outlives the thread
    uint32_t m_blockFrames = 0;
    uint32_t m_periodMs = 20; // the timer's period, at least 1
    std::atomic<uint32_t> m_ticks{0};
    std::atomic<uint32_t> m_blocksAsked{0};
};
