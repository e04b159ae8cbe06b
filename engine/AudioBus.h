#pragma once

#include "SampleBuffer.h"
#include "Tick.h"

#include <array>
#include <cstdint>
#include <memory>

// One output block cut into ticks of 128 frames: eight mono channels, each made of one slice
// per tick, and up to four groups of channels. Decks take channels in the current group, the
// engine collapses a group into a left/right pair, and the output manager folds the groups
// into the device's layout.
//
// Thread: the audio thread only, after construction. Nothing here allocates after the
// constructor.
class CAudioBus {
public:
    static constexpr int kChannels = 8;
    static constexpr int kGroups = 4;
    static constexpr uint32_t kTickFrames = ::kTickFrames; // for callers that hold a bus
    static constexpr uint32_t kMaxTicks = 128;
    static constexpr uint8_t kNone = 255; // ends a group list; no channel

    // User-interface thread (the output manager's open): allocates every slice.
    CAudioBus(uint16_t sampleRate, uint32_t ticksPerBlock);
    CAudioBus(const CAudioBus&) = delete;
    CAudioBus& operator=(const CAudioBus&) = delete;

    // Audio thread.
    // Empties every group list, selects group 0, frees every channel and clears every slice
    // gain; stamps the block's first tick with tickStartMs.
    void Clear(int32_t tickStartMs) noexcept;

    // Takes the first free group 1..3 with the given type mask (1 main, 2 monitor). When all
    // three are taken, a group already registered with the same type is handed out again, else
    // group 0, so a client that registers once per start never runs the bus out of groups.
    uint8_t RegisterGroup(uint8_t type) noexcept;
    void SelectGroup(uint8_t group) noexcept;
    uint8_t CurrentGroup() const noexcept { return m_currentGroup; }

    // A channel of the current group free from firstTick on (kNone when all eight are taken);
    // its slices up to firstTick are silenced and the requested ones start at pan 0, gain 0.
    uint8_t AllocChannel(uint16_t firstTick, uint16_t tickCount) noexcept;
    // Silences the channel's slices from fromTick up to its fill level.
    void ReleaseChannel(uint8_t channel, uint16_t fromTick) noexcept;
    // Folds every channel of the current group into one fresh left/right pair filled up to at
    // least endTick; afterwards the group's list holds exactly that pair.
    void CollapseGroup(uint16_t endTick) noexcept;

    // Folding into a device buffer of ticksPerBlock x 128 frames. Groups are chosen by type mask.
    void FoldMono(uint8_t mask, void* device, DeviceFormat format) noexcept;
    void FoldStereo(uint8_t mask, void* device, DeviceFormat format) noexcept;
    void FoldSplit(uint8_t leftMask, uint8_t rightMask, void* device, DeviceFormat format) noexcept;

    CSampleBuffer& Slice(uint8_t channel, uint32_t tick) noexcept { return m_slices[channel][tick]; }
    const CSampleBuffer& Slice(uint8_t channel, uint32_t tick) const noexcept
    {
        return m_slices[channel][tick];
    }
    // The current group's channels, ended by kNone.
    const uint8_t* GroupChannels(uint8_t group) const noexcept { return m_groupChannels[group].data(); }
    bool GroupInUse(uint8_t group) const noexcept { return m_groupInUse[group]; }
    uint8_t GroupType(uint8_t group) const noexcept { return m_groupType[group]; }
    uint32_t FillLevel(uint8_t channel) const noexcept { return m_fillLevel[channel]; }

    uint32_t TicksPerBlock() const noexcept { return m_ticksPerBlock; }
    uint16_t SampleRate() const noexcept { return m_sampleRate; }
    int32_t TickStartMs() const noexcept { return m_tickStartMs; }
    float TickDurationMs() const noexcept { return m_tickDurationMs; }
    int32_t TickDurationWholeMs() const noexcept { return m_tickDurationWholeMs; }

private:
    uint8_t TakeFreeChannel(uint8_t groupToSkip) const noexcept;
    // True when the list holds exactly two channels, the first only hard left and the second
    // only hard right (slices without gain aside).
    bool IsCollapsedPair(const std::array<uint8_t, kChannels>& list) const noexcept;
    void AppendToGroup(uint8_t group, uint8_t channel) noexcept;
    // Calls visit with the slice at tick of every channel of the groups matching mask.
    template <class Visit> void ForEachSlice(uint8_t mask, uint32_t tick, Visit visit) const noexcept;
    // Mixes, per tick, every channel of the groups matching mask into out[tick].
    void MixGroupsMono(uint8_t mask, uint32_t tick, CSampleBuffer& out) noexcept;

    std::array<std::array<uint8_t, kChannels>, kGroups> m_groupChannels{};
    uint8_t m_currentGroup = 0;
    std::array<bool, kGroups> m_groupInUse{};
    std::array<uint8_t, kGroups> m_groupType{};
    uint32_t m_ticksPerBlock; // 1 .. 128
    uint16_t m_sampleRate;    // Hz
    int32_t m_tickStartMs = 0;
    float m_tickDurationMs;        // 128000 / rate
    int32_t m_tickDurationWholeMs; // the same, rounded
    std::array<std::unique_ptr<int16_t[]>, kChannels> m_channelSamples;
    std::array<std::array<CSampleBuffer, kMaxTicks>, kChannels> m_slices;
    std::array<uint32_t, kChannels> m_fillLevel{}; // ticks written, 0 = free
    CSampleBuffer m_scratchLeft;                   // 128 samples, for folding
    CSampleBuffer m_scratchRight;
};
