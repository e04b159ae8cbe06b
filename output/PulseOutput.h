#pragma once

#include "PacedOutput.h"
#include "PulseConnection.h"
#include "PulsePacer.h"
#include "PulseStream.h"

#include <cstdint>

// Plays the mix, stereo or mono, through the sound server: identifier 256 is the server's
// default sink, 257 .. 511 its sinks in the order the server lists them. One playback stream
// with a buffer of two blocks; as master a periodic timer wakes its pacing thread, which renders
// a block whenever a whole one fits (and at once when the server asks for one). As secondary it writes each
// block it is given that fits into its stream (of three blocks), without pacing anything. Open
// connects to the server and opens the stream in the record's format, never waiting more than
// about a second: 0 or an error number (OutputErrors, 1001 .. 1005 or 1). A secondary is
// stopped after the master has stopped rendering (the manager's order), and loses a block
// its stream has no room for whole.
class CPulseOutput : public CPacedOutput {
public:
    // The master's timer period for a block: 70 % of its duration, 1 .. 200 ms.
    static uint32_t TimerPeriodMs(uint32_t blockFrames, uint32_t rateHz) noexcept;

    CPulseOutput() = default;
    ~CPulseOutput() override;

    // Any thread.
    uint32_t Underruns() const noexcept { return m_stream.Underruns(); }
    uint32_t PeriodMs() const noexcept { return m_periodMs; }
    const CPulsePacer& Pacer() const noexcept { return m_pacer; }
    const CPulseStream& Stream() const noexcept { return m_stream; }

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

    CPulseConnection m_connection;
    CPulseStream m_stream;
    CPulsePacer m_pacer;
    uint32_t m_periodMs = 20;
};
