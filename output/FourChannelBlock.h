#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

class COutputDriver;

// The block of one four-channel device, which the master and the secondary of the device fill
// together: the master's pair goes on channels 1 and 2, the secondary's on 3 and 4, and the
// master sends the whole block once both have had theirs. The master makes it at Open and the
// secondary opened on the same manager shares it, so two devices (two managers, or a device
// tried in the setup while another plays) never touch each other's block. It lives as long as
// either half holds it.
class CFourChannelBlock {
public:
    static constexpr uint32_t kChannels = 4;
    // What a block of one channel does: four-channel sinks of the sound server play it on both
    // speakers of its pair; the sound-card PCM takes stereo blocks only.
    enum class MonoBlocks { Refused, OnBothSpeakers };

    // User-interface thread.
    CFourChannelBlock(uint32_t frames, MonoBlocks mono);
    CFourChannelBlock(const CFourChannelBlock&) = delete;
    CFourChannelBlock& operator=(const CFourChannelBlock&) = delete;
    // The master that paces the device, for the secondary's position; null once it closed.
    void SetMaster(COutputDriver* master) noexcept { m_master.store(master, std::memory_order_release); }

    // Pacing thread, inside the master's render cycle: no allocation, no lock.
    // The master's block: starts a new four-channel block with the second pair silent (so it
    // stays silent without a secondary) and the block on the first pair. 0, or 1 when the
    // block is longer than the buffer or too short for its frames.
    int PutFirstPair(const void* samples, uint32_t bytes, uint32_t frames) noexcept;
    // The secondary's block, on the second pair of the block the master started.
    int PutSecondPair(const void* samples, uint32_t bytes, uint32_t frames) noexcept;
    // The block the master started last.
    const int16_t* Samples() const noexcept { return m_samples.get(); }
    uint32_t Frames() const noexcept { return m_commitFrames; }

    // Any thread.
    COutputDriver* Master() const noexcept { return m_master.load(std::memory_order_acquire); }

private:
    int PutPair(const void* samples, uint32_t bytes, uint32_t frames, uint32_t firstChannel) noexcept;

    std::unique_ptr<int16_t[]> m_samples; // interleaved, m_frames frames of four channels
    uint32_t m_frames = 0;                // the longest block it holds
    uint32_t m_commitFrames = 0;          // frames of the block the master started; pacing thread
    MonoBlocks m_mono;
    std::atomic<COutputDriver*> m_master{nullptr}; // registered by the master's Open, cleared by its Close
};
