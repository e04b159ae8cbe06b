#pragma once

#include "OutputDriver.h"
#include "PulseConnection.h"
#include "PulsePacer.h"
#include "PulseStream.h"

#include <atomic>
#include <cstdint>

// Plays the mix, stereo or mono, through the sound server: identifier 256 is the server's
// default sink, 257 .. 511 its sinks in the order the server lists them. One playback stream
// with a buffer of two blocks; as master a periodic timer wakes its pacing thread, which renders
// a block whenever a whole one fits (and at once when the server asks for one). As secondary it writes each
// block it is given that fits into its stream (of three blocks), without pacing anything.
class CPulseOutput : public COutputDriver {
public:
    // The master's timer period for a block: 70 % of its duration, 1 .. 200 ms.
    static uint32_t TimerPeriodMs(uint32_t blockFrames, uint32_t rateHz) noexcept;

    CPulseOutput() = default;
    ~CPulseOutput() override;

    // User-interface thread.
    // Connects to the server and opens the stream in the record's format; never waits more
    // than about a second. 0 or an error number (OutputErrors, 1001 .. 1005 or 1).
    int Open(COutputDeviceInfo& record, COutputManager& manager) override;
    int Close() override;
    // A master queues two blocks before it returns and then starts its pacing thread; 1 when
    // a block could not be made.
    int Start() override;
    // A secondary is stopped after the master has stopped rendering (the manager's order).
    int Stop() override;

    // Pacing thread: no allocation of ours, no blocking lock.
    // 1 when the block is lost (a secondary whose stream has no room for the whole block).
    int Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept override;

    // Any thread.
    int GetPosition(uint32_t& frames) noexcept override;
    uint32_t Underruns() const noexcept { return m_stream.Underruns(); }
    uint32_t BlocksWritten() const noexcept { return m_blocksWritten.load(std::memory_order_relaxed); }
    uint32_t BlocksDropped() const noexcept { return m_blocksDropped.load(std::memory_order_relaxed); }
    uint32_t PeriodMs() const noexcept { return m_periodMs; }
    const CPulsePacer& Pacer() const noexcept { return m_pacer; }
    const CPulseStream& Stream() const noexcept { return m_stream; }

private:
    bool IsMaster() const noexcept;

    CPulseConnection m_connection;
    CPulseStream m_stream;
    CPulsePacer m_pacer;
    uint32_t m_periodMs = 20;
    std::atomic<bool> m_playing{false};
    std::atomic<uint32_t> m_blocksWritten{0};
    std::atomic<uint32_t> m_blocksDropped{0};
};
