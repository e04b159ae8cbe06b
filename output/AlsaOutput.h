#pragma once

#include "AlsaPacer.h"
#include "AlsaPcm.h"
#include "PacedOutput.h"

#include <cstdint>
#include <string>

// Plays the mix, stereo or mono, through an ALSA PCM: identifier 0 is ALSA's "default" PCM,
// 1 .. 255 the playback PCMs of the hint list. Two blocks are queued at a time; as master its
// pacing thread renders a block whenever one has played. Open clears the record's stereo flag
// for a device of one channel and returns 0 or an error number (OutputErrors); Write returns 1
// when the ring has no room for the block (it is dropped).
class CAlsaOutput : public CPacedOutput {
public:
    CAlsaOutput() = default;
    // Plays through the named PCM whatever the identifier (a "file:" PCM, for tools).
    explicit CAlsaOutput(std::string pcmName) : m_pcmName(std::move(pcmName)) {}
    ~CAlsaOutput() override;

    // Any thread.
    uint32_t Underruns() const noexcept { return m_pcm.Underruns(); }
    const CAlsaPacer& Pacer() const noexcept { return m_pacer; }
    const CAlsaPcm& Pcm() const noexcept { return m_pcm; }

private:
    int OpenDevice(COutputDeviceInfo& record) override;
    int CloseDevice() override;
    int PrepareDevice() override;
    bool StartPacing() override;
    CPacer& Pacing() noexcept override { return m_pacer; }
    int WriteBlock(const void* samples, uint32_t bytes, uint32_t frames) noexcept override;
    void DropDevice() noexcept override { m_pcm.Drop(); }
    bool DeviceOpen() const noexcept override { return m_pcm.IsOpen(); }

    std::string m_pcmName; // empty: the identifier's PCM
    CAlsaPcm m_pcm;
    CAlsaPacer m_pacer;
};
