#pragma once

#include "AlsaPacer.h"
#include "AlsaPcm.h"
#include "OutputDeviceInfo.h"
#include "OutputDriver.h"

#include <atomic>
#include <cstdint>
#include <string>

// Carries two stereo signals on one ALSA PCM of four channels (identifiers 1024 .. 1279): the
// master instance puts its block on channels 1 and 2 and paces the device; a secondary of the
// same kind puts the block it receives in the same render cycle on channels 3 and 4. The
// four-channel block is shared by every instance and sent by the master's Commit, after all
// drivers have had their block.
class CAlsa4chOutput : public COutputDriver {
public:
    CAlsa4chOutput() = default;
    // Plays through the named PCM whatever the identifier (a "file:" PCM, for tools).
    explicit CAlsa4chOutput(std::string pcmName) : m_pcmName(std::move(pcmName)) {}
    ~CAlsa4chOutput() override;

    // User-interface thread.
    // Master: opens the k-th four-channel PCM for 16-bit samples; kBadDevice beyond the list,
    // kNoCapabilities when it takes fewer than four channels. Secondary: touches no device.
    int Open(COutputDeviceInfo& record, COutputManager& manager) override;
    int Close() override;
    int Start() override;
    int Stop() override;

    // Pacing thread: no allocation, no blocking lock. Blocks are stereo 16-bit.
    int Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept override;
    // Master: sends the shared four-channel block.
    int Commit() noexcept override;

    // Any thread.
    int GetPosition(uint32_t& frames) noexcept override;
    uint32_t Underruns() const noexcept { return m_pcm.Underruns(); }

private:
    bool IsMaster() const noexcept { return m_record != nullptr && m_record->master != 0; }

    CAlsaPcm m_pcm; // open on the master only
    CAlsaPacer m_pacer;
    std::atomic<bool> m_playing{false};
    std::string m_pcmName;       // empty: the identifier's PCM
    uint32_t m_commitFrames = 0; // frames of the block the master claimed; pacing thread
};
