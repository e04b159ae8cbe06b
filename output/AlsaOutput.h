#pragma once

#include "AlsaPacer.h"
#include "AlsaPcm.h"
#include "OutputDriver.h"

#include <atomic>
#include <cstdint>
#include <string>

// Plays the mix, stereo or mono, through an ALSA PCM: identifier 0 is ALSA's "default" PCM,
// 1 .. 255 the playback PCMs of the hint list. Two blocks are queued at a time; as master its
// pacing thread renders a block whenever one has played.
class CAlsaOutput : public COutputDriver {
public:
    CAlsaOutput() = default;
    // Plays through the named PCM whatever the identifier (a "file:" PCM, for tools).
    explicit CAlsaOutput(std::string pcmName) : m_pcmName(std::move(pcmName)) {}
    ~CAlsaOutput() override;

    // User-interface thread.
    // Opens the PCM of the record's identifier. A device of one channel clears the record's
    // stereo flag. 0 or an error number (OutputErrors).
    int Open(COutputDeviceInfo& record, COutputManager& manager) override;
    int Close() override;
    // A master queues two blocks before it returns and then starts its pacing thread; 1 when
    // a block could not be made.
    int Start() override;
    int Stop() override;

    // Pacing thread: no allocation, no blocking lock.
    // 1 when the ring has no room for the block (it is dropped).
    int Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept override;

    // Any thread.
    int GetPosition(uint32_t& frames) noexcept override;
    uint32_t Underruns() const noexcept { return m_pcm.Underruns(); }
    uint32_t BlocksWritten() const noexcept { return m_blocksWritten.load(std::memory_order_relaxed); }
    uint32_t BlocksDropped() const noexcept { return m_blocksDropped.load(std::memory_order_relaxed); }
    const CAlsaPacer& Pacer() const noexcept { return m_pacer; }
    const CAlsaPcm& Pcm() const noexcept { return m_pcm; }

private:
    std::string m_pcmName; // empty: the identifier's PCM
    CAlsaPcm m_pcm;
    CAlsaPacer m_pacer;
    std::atomic<bool> m_playing{false};
    std::atomic<uint32_t> m_blocksWritten{0};
    std::atomic<uint32_t> m_blocksDropped{0};
};
