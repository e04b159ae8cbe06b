#pragma once

#include "AlsaPacer.h"
#include "AlsaPcm.h"
#include "FourChannelBlock.h"
#include "OutputDeviceInfo.h"
#include "PacedOutput.h"

#include <cstdint>
#include <memory>
#include <string>

// Carries two stereo signals on one ALSA PCM of four channels (identifiers 1024 .. 1279): the
// master instance puts its block on channels 1 and 2 and paces the device; a secondary of the
// same kind, opened on the same manager, puts the block it receives in the same render cycle on
// channels 3 and 4. The two share the four-channel block, which the master's Commit sends after
// all drivers have had their block. Master's Open: opens the k-th four-channel PCM for 16-bit
// samples; kBadDevice beyond the list, kNoCapabilities when it takes fewer than four channels.
// Secondary's Open: touches no device and shares the block of the manager's master when that
// is of this kind.
class CAlsa4chOutput : public CPacedOutput {
public:
    CAlsa4chOutput() = default;
    // Plays through the named PCM whatever the identifier (a "file:" PCM, for tools).
    explicit CAlsa4chOutput(std::string pcmName) : m_pcmName(std::move(pcmName)) {}
    ~CAlsa4chOutput() override;

    // Pacing thread: no allocation, no blocking lock. Blocks are stereo 16-bit.
    int Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept override;
    // Master: sends the shared four-channel block.
    int Commit() noexcept override;

    // Any thread.
    uint32_t Underruns() const noexcept { return m_pcm.Underruns(); }

private:
    int OpenDevice(COutputDeviceInfo& record) override;
    int CloseDevice() override;
    int PrepareDevice() override;
    bool StartPacing() override;
    CPacer& Pacing() noexcept override { return m_pacer; }
    int WriteBlock(const void* samples, uint32_t bytes, uint32_t frames) noexcept override;
    void DropDevice() noexcept override { m_pcm.Drop(); }
    bool DeviceOpen() const noexcept override { return m_pcm.IsOpen(); }
    bool OwnsDevice() const noexcept override { return IsMaster(); }

    CAlsaPcm m_pcm; // open on the master only
    CAlsaPacer m_pacer;
    std::string m_pcmName; // empty: the identifier's PCM
    // Made by the master's Open, shared by the secondary's; null when no master gave one.
    std::shared_ptr<CFourChannelBlock> m_block;
};
