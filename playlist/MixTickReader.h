#pragma once

#include "MixTickDecoder.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

class CMixChannels;

// Reads a loaded event stream tick by tick: replays each tick's values into the mix channel
// table, detects the user's take-overs, follows the deck tracks, the cross-fader and the
// positions the end markers carry, and seeks (a seek reads forward without applying, from tick 0
// when the target lies behind). A stream that turns out unreadable at a tick ends there; the
// decks keep what they have.
//
// Threads: the mix's lock guards the reader; the caller holds it unless a heading says
// otherwise. Nothing here allocates but MarkerList.
class CMixTickReader {
public:
    enum class TickResult { Tick, End, Busy }; // Busy: another thread held the mix's lock

    static constexpr int kMaxMarkers = 128;
    static constexpr uint32_t kSeekStep = 256; // ticks
    using Markers = std::array<uint32_t, kMaxMarkers>;

    // stream: the mix file's bytes; the file and the channel table outlive the reader.
    CMixTickReader(const std::vector<uint8_t>& stream, CMixChannels& channels) noexcept;
    CMixTickReader(const CMixTickReader&) = delete;
    CMixTickReader& operator=(const CMixTickReader&) = delete;

    // Under the lock, the audio thread included: no allocation, no file access.
    // advance false peeks: the tick is read (and applied) but read again next time.
    TickResult ReadTick(bool advance, bool apply, int32_t* positionA, int32_t* positionB) noexcept;
    void Rewind() noexcept;

    // Under the lock, off the audio thread: a seek reads forward tick by tick, from tick 0 when
    // the target lies behind; rounded down to kSeekStep, at most two ticks before the end.
    void Seek(uint32_t target) noexcept;
    void SeekForward(uint32_t steps) noexcept;
    void SeekBackward(uint32_t steps) noexcept;
    void SeekNextMarker() noexcept;
    void SeekPreviousMarker() noexcept;

    // Under the lock, off the audio thread: no allocation.
    // Empties the reader before a new stream arrives: no ticks, no markers, not playing.
    void Clear() noexcept;
    // The stream changed: reads it from tick 0, tickCount ticks of it.
    void Start(uint32_t tickCount, uint32_t damagedAtTick) noexcept;
    // Ticks, ascending, at most kMaxMarkers.
    void SetMarkers(const Markers& markers, int count) noexcept;
    // Last values read for the deck tracks (playlist index + 1, -1 before any) and "X-Fader".
    int32_t Track(int deck) const noexcept { return m_track[deck & 1]; }
    const std::array<int32_t, 2>& Tracks() const noexcept { return m_track; }
    int32_t CrossFader() const noexcept { return m_crossFader; }

    // Under the lock, off the audio thread: allocates.
    std::vector<uint32_t> MarkerList() const;

    // Any thread, without the lock.
    void SetPlaying(bool on) noexcept { m_playing.store(on, std::memory_order_release); }
    bool Playing() const noexcept { return m_playing.load(std::memory_order_acquire); }
    uint32_t CurrentTick() const noexcept { return m_currentTick.load(std::memory_order_acquire); }
    uint32_t TickCount() const noexcept { return m_tickCount.load(std::memory_order_acquire); }
    uint32_t DamagedAtTick() const noexcept { return m_damagedAtTick.load(std::memory_order_acquire); }
    uint32_t SeekGeneration() const noexcept { return m_seekGeneration.load(std::memory_order_acquire); }
    int32_t TrackNow(int deck) const noexcept { return m_trackNow[deck & 1].load(std::memory_order_acquire); }

private:
    bool DecodeTick(bool apply) noexcept;
    uint32_t MarkerTarget(uint32_t marker) const noexcept;

    const std::vector<uint8_t>& m_stream; // the mix file's; it outlives the reader
    CMixChannels& m_channels;             // the mix's; it outlives the reader
    uint32_t m_readPosition = 0;          // bytes
    // Written under the lock; read without it by the replay and the Automix step.
    std::atomic<uint32_t> m_tickCount{0};
    std::atomic<uint32_t> m_currentTick{0};
    std::atomic<uint32_t> m_damagedAtTick{CMixTickDecoder::kIntact};
    std::atomic<bool> m_playing{false};
    std::atomic<uint32_t> m_seekGeneration{0};
    std::array<int32_t, 2> m_track{-1, -1};
    std::array<std::atomic<int32_t>, 2> m_trackNow{-1, -1}; // m_track as of the last tick read
    int32_t m_crossFader = -1;                              // 0..255, -1 before any
    std::array<int32_t, 2> m_runningPosition{-1, -1};       // frames of each deck's track
    Markers m_markers{};                                    // ticks
    int m_markerCount = 0;
};
