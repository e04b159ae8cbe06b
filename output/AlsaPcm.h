#pragma once

#include <alsa/asoundlib.h>

#include <atomic>
#include <cstdint>
#include <string>

// Owns one ALSA playback PCM, opened without blocking and set up for interleaved blocks in a
// ring of two blocks. Writes never wait: a block that does not fit is refused whole.
//
// Threads: Open, Configure, Close on the user-interface thread; the rest on the pacing thread
// once it runs (and on the user-interface thread before it starts or after it is joined).
class CAlsaPcm {
public:
    CAlsaPcm() = default;
    ~CAlsaPcm() { Close(); }
    CAlsaPcm(const CAlsaPcm&) = delete;
    CAlsaPcm& operator=(const CAlsaPcm&) = delete;

    // User-interface thread.
    // 0 or an open error number (OutputErrors).
    int Open(const std::string& pcmName);
    // The most channels the PCM accepts; 0 when its capabilities cannot be read.
    uint32_t MaxChannels();
    // Interleaved access in format, channels, rate (exact), a period of blockFrames and a ring
    // of two periods; starts by itself once the ring is full. 0, kBadFormat or kOpenFailed.
    int Configure(snd_pcm_format_t format, uint32_t channels, uint32_t rateHz, uint32_t blockFrames);
    // The result of snd_pcm_close, 0 when nothing was open.
    int Close() noexcept;
    bool IsOpen() const noexcept { return m_pcm != nullptr; }
    snd_pcm_t* Handle() const noexcept { return m_pcm; }

    // Pacing thread.
    // Back to a state that accepts blocks, forgetting the frames written.
    int Prepare() noexcept;
    // Discards what is queued.
    void Drop() noexcept;
    // 0 when the whole block was queued; 1 when the ring has no room for it (dropped) or the
    // device failed. An underrun is recovered here and counted.
    int WriteBlock(const void* samples, uint32_t frames) noexcept;
    // Frames the ring has room for, after recovering from an underrun; negative on a device
    // error that cannot be recovered.
    long Avail() noexcept;
    // Frames written since Prepare minus those still queued: the frames played.
    uint32_t PlayedFrames() noexcept;
    // Frames written since Prepare.
    uint32_t FramesWritten() const noexcept { return m_framesWritten; }

    // Any thread.
    uint32_t Underruns() const noexcept { return m_underruns.load(std::memory_order_relaxed); }
    uint32_t RingFrames() const noexcept { return m_ringFrames; }
    uint32_t PeriodFrames() const noexcept { return m_periodFrames; }

private:
    // true when the error was an underrun or a suspend and the PCM accepts blocks again.
    bool Recover(int error) noexcept;

    snd_pcm_t* m_pcm = nullptr;
    uint32_t m_frameBytes = 0;    // bytes per interleaved frame
    uint32_t m_ringFrames = 0;    // as the device granted it
    uint32_t m_periodFrames = 0;  // as the device granted it
    uint32_t m_framesWritten = 0; // since Prepare; wraps with the play position
    std::atomic<uint32_t> m_underruns{0};
};
