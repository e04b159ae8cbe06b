#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

// The decoded frames of one deck's track: a ring of 2^20 stereo frames indexed by track frame,
// with a window [window start, window end) of blocks known to be decoded, the play position,
// and the waveform overview (one high/low pair per 1024 frames).
//
// Threads: the refill thread plans, writes blocks and commits under the deck's store lock; the
// audio thread reads frames under the render lock only. The refill writes a block's frames
// before it moves the window bounds, and the bounds are atomics, so a reader never finds a
// block inside the window before its frames are there. The overview is read by the
// user-interface thread without a lock.
class CSampleStore {
public:
    static constexpr uint32_t kRingFrames = 1u << 20;
    static constexpr uint32_t kRingMask = kRingFrames - 1;
    static constexpr uint32_t kOverviewEntries = 4096;
    static constexpr uint32_t kOverviewFrames = 1024; // track frames per overview entry

    struct OverviewPair {
        int8_t high = 0;
        int8_t low = 0;
    };

    // Allocates the ring and the overview: 4 MiB + 8 KiB, once per deck.
    CSampleStore();

    // Loader thread, under all three deck locks.
    // Rate 44100, 512 frames per block, no blocks, empty window at 0, position 0, look-ahead 0.5.
    void Reset() noexcept;
    void Init(uint32_t sampleRate, uint32_t framesPerBlock, uint32_t blockCount, float lookAhead) noexcept;

    // Refill thread, under the store lock.
    // Chooses the blocks to decode next; returns their count (0: nothing to do) and the first.
    int32_t Plan(int32_t minimumBlocks, int32_t maximumBlocks, int32_t& firstBlock) noexcept;
    void PutBlock(int32_t block, const int16_t* left, const int16_t* right) noexcept;
    void Commit() noexcept;
    void Cancel() noexcept;

    // Decoding ahead, for an offline render on two threads. The rendering thread plans and
    // publishes the window at once, as Commit would leave it (BeginAhead, under the store lock),
    // another thread decodes the planned blocks in order (PutAheadBlock, FailAhead, under the
    // store lock) while the next block renders, and the rendering thread ends the step before it
    // plans the next (EndAhead). A Read that reaches a planned block waits until it is decoded,
    // so what is read does not depend on how far the decoding has got. A block that fails, and
    // every planned block after it, reads as silence for that step; the window then goes back to
    // what Cancel would leave.
    int32_t BeginAhead(int32_t minimumBlocks, int32_t maximumBlocks, int32_t& firstBlock) noexcept;
    // Rendering thread, while blocks may be decoding: whether a plan is due, that is the play
    // position has left the window, or fewer than the look-ahead less slackFrames are decoded
    // ahead of it, or a read has met a block that failed. It depends on the play position and
    // the plans alone, never on how far the decoding has got.
    bool WantsBlocks(uint32_t slackFrames) const noexcept;
    void PutAheadBlock(int32_t block, const int16_t* left, const int16_t* right) noexcept;
    void FailAhead() noexcept;
    void EndAhead() noexcept;

    // Audio thread, under the render lock.
    // Copies count frames at the play position in the play direction, zeros where nothing is
    // decoded; returns 1 when the play position is at or past the end of the track. Never waits
    // unless blocks are being decoded ahead.
    int Read(uint32_t count, int16_t* left, int16_t* right) noexcept;

    // Any thread: plain reads and writes of the shared fields.
    void SetDirection(bool backwards) noexcept { m_backwards.store(backwards, std::memory_order_relaxed); }
    bool Backwards() const noexcept { return m_backwards.load(std::memory_order_relaxed); }
    // Release and acquire: the refill overwrites ring slots behind the position, and must see
    // the reads of those slots finished before it writes.
    void SetPlayPosition(uint32_t frame) noexcept { m_playPosition.store(frame, std::memory_order_release); }
    uint32_t PlayPosition() const noexcept { return m_playPosition.load(std::memory_order_acquire); }
    uint32_t CurrentBlock() const noexcept { return PlayPosition() / FramesPerBlock(); }
    uint32_t EndFrame() const noexcept { return BlockCount() * FramesPerBlock(); }
    struct Window {
        int32_t start; // first decoded block
        int32_t end;   // one past the last
    };
    // Both bounds from one load, so a reader never pairs an old bound with a new one.
    Window DecodedWindow() const noexcept;
    int32_t WindowStart() const noexcept { return DecodedWindow().start; }
    int32_t WindowEnd() const noexcept { return DecodedWindow().end; }
    uint32_t SampleRate() const noexcept { return m_sampleRate.load(std::memory_order_relaxed); }
    uint32_t FramesPerBlock() const noexcept { return m_framesPerBlock.load(std::memory_order_relaxed); }
    uint32_t BlockCount() const noexcept { return m_blockCount.load(std::memory_order_relaxed); }
    int32_t RingBlocks() const noexcept { return static_cast<int32_t>(kRingFrames / FramesPerBlock()); }
    int32_t AheadBlocks() const noexcept { return static_cast<int32_t>(RingBlocks() * m_lookAhead); }

    // User-interface thread: count pairs from startFrame on, zoom overview entries per pair;
    // pairs outside the decoded window are {0, 0}.
    void ReadOverview(uint32_t startFrame, OverviewPair* pairs, uint32_t count, float zoom) const noexcept;

    // Direct access for tests and the benchmarks.
    const int16_t* LeftPlane() const noexcept { return m_left.get(); }
    const int16_t* RightPlane() const noexcept { return m_right.get(); }

private:
    std::unique_ptr<int16_t[]> m_left;                   // kRingFrames samples
    std::unique_ptr<int16_t[]> m_right;                  // kRingFrames samples
    std::unique_ptr<std::atomic<uint16_t>[]> m_overview; // kOverviewEntries packed {high, low}
    int32_t m_envelopeHigh = 0; // running extremes of the smoothed signal, decayed per entry
    int32_t m_envelopeLow = 0;
    int32_t m_smoothed = 0;    // one-pole low-pass of the mono signal, 16-bit scale
    int32_t m_smoothing = 350; // Q12 coefficient: 2 pi x 600 Hz x 4096 / rate
    // The track's shape: written under all three deck locks, read by displays without one.
    std::atomic<uint32_t> m_sampleRate{44100};   // Hz
    std::atomic<uint32_t> m_framesPerBlock{512}; // 1 .. 8192
    std::atomic<uint32_t> m_blockCount{0};
    void SetWindow(int32_t start, int32_t end) noexcept;
    // The window this read may use, once the planned blocks it reaches are decoded or failed.
    Window ReadableWindow(int64_t position, uint32_t count, bool backwards) const noexcept;

    std::atomic<uint64_t> m_window{0};       // blocks [start, end) are decoded: start low, end high
    std::atomic<uint32_t> m_playPosition{0}; // track frame of the next frame to read
    float m_lookAhead = 0.5f;                // share of the ring kept decoded ahead
    std::atomic<bool> m_backwards{false};
    bool m_plannedBackwards = false;
    int32_t m_plannedFirst = -1; // -1: no plan
    int32_t m_plannedCount = 0;
    // Decoding ahead: the planned blocks [first, first + count) being decoded (count 0: none),
    // the window before they were published, and the blocks decoded so far with kAheadFailed
    // set once one failed.
    static constexpr uint32_t kAheadFailed = 1u << 31;
    std::atomic<int32_t> m_aheadFirst{0};
    std::atomic<int32_t> m_aheadCount{0};
    std::atomic<bool> m_aheadBackwards{false};
    std::atomic<uint32_t> m_aheadDone{0};
    mutable std::atomic<bool> m_aheadGapRead{false}; // a read met the blocks of a failed plan
    Window m_aheadPrevious{0, 0};
};
