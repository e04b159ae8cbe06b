#pragma once

#include "OutputDeviceInfo.h"
#include "OutputDriver.h"
#include "PulseConnection.h"
#include "PulsePacer.h"
#include "PulseStream.h"

#include <atomic>
#include <cstdint>
#include <memory>

// Carries two stereo signals on one four-channel stream of the sound server (identifiers
// 1280 .. 1535: the server's sinks of at least four channels). The master instance puts its
// block on front left and right and paces the stream; a secondary of the same kind, opened while
// a master is open, shares the master's stream and puts the block it receives in the same render
// cycle on rear left and right. The master's Commit sends the four-channel block once every
// driver has had its part.
class CPulse4chOutput : public COutputDriver {
public:
    // The master's timer period for a block: 40 % of its duration, 1 .. 50 ms.
    static uint32_t TimerPeriodMs(uint32_t blockFrames, uint32_t rateHz) noexcept;

    CPulse4chOutput() = default;
    ~CPulse4chOutput() override;

    // User-interface thread.
    // Master: opens a four-channel 16-bit stream on the identifier's sink; 1 when the
    // identifier is not in the list, 1005 for 8-bit samples, else as CPulseOutput. Secondary:
    // takes over the open master's stream; 1 when no master is open. A secondary is closed
    // before its master (the manager's order) and touches nothing of it in Close.
    int Open(COutputDeviceInfo& record, COutputManager& manager) override;
    int Close() override;
    int Start() override;
    int Stop() override;

    // Pacing thread: no allocation, no blocking lock. Blocks are 16-bit, stereo or mono.
    int Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept override;
    // Master: sends the shared four-channel block.
    int Commit() noexcept override;

    // Any thread. A secondary answers with its master's position.
    int GetPosition(uint32_t& frames) noexcept override;
    uint32_t Underruns() const noexcept { return m_stream.Underruns(); }
    uint32_t PeriodMs() const noexcept { return m_periodMs; }
    const CPulsePacer& Pacer() const noexcept { return m_pacer; }

private:
    bool IsMaster() const noexcept { return m_record != nullptr && m_record->master != 0; }
    // Copies the block into the channel pair that starts at firstChannel of the master's
    // four-channel block.
    int Interleave(const void* samples, uint32_t bytes, uint32_t frames, uint32_t firstChannel) noexcept;

    CPulseConnection m_connection; // the master's
    CPulseStream m_stream;         // the master's
    CPulsePacer m_pacer;           // the master's
    uint32_t m_periodMs = 20;
    std::atomic<bool> m_playing{false};
    // The master's four-channel block, allocated at Open for the whole block.
    std::unique_ptr<int16_t[]> m_block;
    uint32_t m_blockFrames = 0;  // frames m_block holds
    uint32_t m_commitFrames = 0; // frames of the block being made; pacing thread
    // A secondary's master; it stays open while the secondary is (see Open).
    CPulse4chOutput* m_master = nullptr;
};
