#pragma once

#include "FourChannelBlock.h"
#include "OutputDeviceInfo.h"
#include "PacedOutput.h"
#include "PulseConnection.h"
#include "PulsePacer.h"
#include "PulseStream.h"

#include <cstdint>
#include <memory>

// Carries two stereo signals on one four-channel stream of the sound server (identifiers
// 1280 .. 1535: the server's sinks of at least four channels). The master instance puts its
// block on front left and right and paces the stream; a secondary of the same kind, opened on
// the manager whose master it is, shares the master's stream and puts the block it receives in the same
// render cycle on rear left and right. The master's Commit sends the four-channel block once every driver has
// had its part.
class CPulse4chOutput : public CPacedOutput {
public:
    // The master's timer period for a block: 40 % of its duration, 1 .. 50 ms.
    static uint32_t TimerPeriodMs(uint32_t blockFrames, uint32_t rateHz) noexcept;

    CPulse4chOutput() = default;
    ~CPulse4chOutput() override;

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
    int OpenDevice(COutputDeviceInfo& record) override;
    int CloseDevice() override;
    int PrepareDevice() override;
    bool StartPacing() override;
    CPacer& Pacing() noexcept override { return m_pacer; }
    int WriteBlock(const void* samples, uint32_t bytes, uint32_t frames) noexcept override;
    void DropDevice() noexcept override;
    // The stream itself is made and ended on the pacing thread; the connection lives from Open
    // to Close.
    bool DeviceOpen() const noexcept override { return m_connection.IsOpen(); }
    bool OwnsDevice() const noexcept override { return IsMaster(); }

    CPulseConnection m_connection; // the master's
    CPulseStream m_stream;         // the master's
    CPulsePacer m_pacer;           // the master's
    uint32_t m_periodMs = 20;
    // The master's four-channel block, made at Open for the whole block and shared by its
    // secondary, through which the secondary also finds the master's position.
    std::shared_ptr<CFourChannelBlock> m_block;
};
