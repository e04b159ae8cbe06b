#include "SampleStore.h"

#include <algorithm>
#include <cstring>

namespace {

uint16_t PackPair(int32_t high, int32_t low) noexcept
{
    return static_cast<uint16_t>(
        static_cast<uint8_t>(static_cast<int8_t>(high)) |
        (static_cast<uint16_t>(static_cast<uint8_t>(static_cast<int8_t>(low))) << 8));
}

} // namespace

CSampleStore::CSampleStore()
    : m_left(std::make_unique<int16_t[]>(kRingFrames)), m_right(std::make_unique<int16_t[]>(kRingFrames)),
      m_overview(std::make_unique<std::atomic<uint16_t>[]>(kOverviewEntries))
{
    Reset();
}

CSampleStore::Window CSampleStore::DecodedWindow() const noexcept
{
    const uint64_t packed = m_window.load(std::memory_order_acquire);
    return {static_cast<int32_t>(static_cast<uint32_t>(packed)),
            static_cast<int32_t>(static_cast<uint32_t>(packed >> 32))};
}

void CSampleStore::SetWindow(int32_t start, int32_t end) noexcept
{
    m_window.store(static_cast<uint32_t>(start) | (static_cast<uint64_t>(static_cast<uint32_t>(end)) << 32),
                   std::memory_order_release);
}

void CSampleStore::Reset() noexcept
{
    Init(44100, 512, 0, 0.5f);
}

void CSampleStore::Init(uint32_t sampleRate, uint32_t framesPerBlock, uint32_t blockCount,
                        float lookAhead) noexcept
{
    const uint32_t rate = sampleRate != 0 ? sampleRate : 44100;
    const uint32_t blockFrames = std::clamp<uint32_t>(framesPerBlock, 1, 8192);
    m_sampleRate.store(rate, std::memory_order_relaxed);
    m_framesPerBlock.store(blockFrames, std::memory_order_relaxed);
    // The ring addresses at most 2^32 frames of track.
    m_blockCount.store(static_cast<uint32_t>(std::min<uint64_t>(blockCount, UINT32_MAX / blockFrames)),
                       std::memory_order_relaxed);
    m_lookAhead = lookAhead;
    SetWindow(0, 0);
    m_playPosition.store(0, std::memory_order_relaxed);
    m_backwards.store(false, std::memory_order_relaxed);
    m_plannedBackwards = false;
    m_plannedFirst = -1;
    m_plannedCount = 0;
    m_aheadCount.store(0, std::memory_order_relaxed);
    m_aheadDone.store(0, std::memory_order_relaxed);
    m_envelopeHigh = 0;
    m_envelopeLow = 0;
    m_smoothed = 0;
    // 2 pi x 600 Hz x 4096 / rate: a 600 Hz one-pole smoothing whatever the rate (350 at 44100).
    // At most 1.0 in Q12: below about 3770 Hz the 600 Hz pole would overshoot and grow without bound.
    m_smoothing = std::min(static_cast<int32_t>(15441556.21092455 / rate), 4096);
}

int32_t CSampleStore::Plan(int32_t minimumBlocks, int32_t maximumBlocks, int32_t& firstBlock) noexcept
{
    const auto current = static_cast<int32_t>(CurrentBlock());
    const int32_t ahead = AheadBlocks();
    const auto blockCount = static_cast<int32_t>(BlockCount());
    maximumBlocks = std::max(maximumBlocks, minimumBlocks);
    const Window window = DecodedWindow();
    const int32_t start = window.start;
    const int32_t end = window.end;
    int32_t first = 0;
    int32_t count = 0;
    m_plannedBackwards = Backwards();

    if (!m_plannedBackwards) {
        first = end;
        if (start <= current && current <= end) {
            if (end - current < ahead)
                count = ahead - (end - current);
        } else {
            // The play position left the window (a seek): restart it a little before the position.
            first = std::max(current - maximumBlocks / 4, 0);
            SetWindow(first, first);
            count = ahead;
        }
        count = std::min(count, maximumBlocks);
        if (count < minimumBlocks)
            count = 0;
        if (first + count > blockCount)
            count = std::max(blockCount - first, 0);
    } else {
        first = start;
        if (start <= current && current <= end) {
            if (current - start < ahead)
                count = ahead - (current - start);
        } else {
            // Never past the track's end: blocks there cannot be read.
            first = std::min(current + maximumBlocks / 4, blockCount);
            SetWindow(first, first);
            count = ahead;
        }
        count = std::min(count, maximumBlocks);
        if (count < minimumBlocks)
            count = 0;
        if (count > first) {
            count = first;
            first = 0;
        } else {
            first -= count;
        }
    }
    if (count <= 0) {
        count = 0;
        first = -1;
    }
    m_plannedFirst = first;
    m_plannedCount = count;
    firstBlock = first;
    return count;
}

void CSampleStore::PutBlock(int32_t block, const int16_t* left, const int16_t* right) noexcept
{
    if (block < 0)
        return;
    const uint32_t blockFrames = FramesPerBlock();
    uint32_t frame = static_cast<uint32_t>(block) * blockFrames;
    for (uint32_t i = 0; i < blockFrames; ++i, ++frame) {
        m_left[frame & kRingMask] = left[i];
        m_right[frame & kRingMask] = right[i];
        const int32_t mono = (static_cast<int32_t>(left[i]) + right[i]) >> 1;
        m_smoothed += static_cast<int32_t>((static_cast<int64_t>(mono - m_smoothed) * m_smoothing) >> 12);
        m_envelopeHigh = std::max(m_envelopeHigh, m_smoothed);
        m_envelopeLow = std::min(m_envelopeLow, m_smoothed);
        if (frame % kOverviewFrames == 0) {
            m_overview[(frame >> 10) & (kOverviewEntries - 1)].store(
                PackPair(m_envelopeHigh / 256, m_envelopeLow / 256), std::memory_order_relaxed);
            m_envelopeHigh = static_cast<int32_t>(m_envelopeHigh * 0.6);
            m_envelopeLow = static_cast<int32_t>(m_envelopeLow * 0.6);
        }
    }
}

void CSampleStore::Commit() noexcept
{
    if (m_plannedFirst < 0) {
        m_plannedCount = 0;
        return;
    }
    const int32_t ring = RingBlocks();
    // One store moves both bounds, so a reader never sees a window wider than the ring.
    const Window window = DecodedWindow();
    if (!m_plannedBackwards) {
        const int32_t end = m_plannedFirst + m_plannedCount;
        SetWindow(std::max(window.start, end - ring), end);
    } else {
        const int32_t start = m_plannedFirst;
        SetWindow(start, std::min(window.end, start + ring));
    }
    m_plannedFirst = -1;
    m_plannedCount = 0;
}

void CSampleStore::Cancel() noexcept
{
    m_plannedFirst = -1;
    m_plannedCount = 0;
}

int32_t CSampleStore::BeginAhead(int32_t minimumBlocks, int32_t maximumBlocks, int32_t& firstBlock) noexcept
{
    const int32_t count = Plan(minimumBlocks, maximumBlocks, firstBlock);
    // After the plan: a seek has restarted the window, and Cancel would leave it so.
    m_aheadPrevious = DecodedWindow();
    if (count <= 0)
        return 0;
    m_aheadFirst.store(firstBlock, std::memory_order_relaxed);
    m_aheadDone.store(0, std::memory_order_relaxed);
    m_aheadGapRead.store(false, std::memory_order_relaxed);
    m_aheadCount.store(count, std::memory_order_relaxed);
    Commit(); // its release store publishes the fields above with the window
    return count;
}

bool CSampleStore::WantsBlocks(uint32_t slackFrames) const noexcept
{
    if (m_aheadGapRead.load(std::memory_order_relaxed))
        return true;
    const auto current = static_cast<int32_t>(CurrentBlock());
    const Window window = DecodedWindow();
    if (current < window.start || current > window.end)
        return true;
    // As Plan counts: it decodes when fewer than AheadBlocks lie ahead.
    const int32_t wanted = AheadBlocks() - static_cast<int32_t>(slackFrames / FramesPerBlock());
    if (!Backwards())
        return window.end < static_cast<int32_t>(BlockCount()) && window.end - current < wanted;
    return window.start > 0 && current - window.start < wanted;
}

void CSampleStore::PutAheadBlock(int32_t block, const int16_t* left, const int16_t* right) noexcept
{
    PutBlock(block, left, right);
    m_aheadDone.fetch_add(1, std::memory_order_release);
    m_aheadDone.notify_all();
}

void CSampleStore::FailAhead() noexcept
{
    m_aheadDone.fetch_or(kAheadFailed, std::memory_order_release);
    m_aheadDone.notify_all();
}

void CSampleStore::EndAhead() noexcept
{
    if (m_aheadCount.load(std::memory_order_relaxed) == 0)
        return;
    if ((m_aheadDone.load(std::memory_order_acquire) & kAheadFailed) != 0)
        SetWindow(m_aheadPrevious.start, m_aheadPrevious.end);
    m_aheadCount.store(0, std::memory_order_relaxed);
}

CSampleStore::Window CSampleStore::ReadableWindow(int64_t position, uint32_t count,
                                                  bool backwards) const noexcept
{
    const Window window = DecodedWindow();
    const int32_t aheadCount = m_aheadCount.load(std::memory_order_relaxed);
    if (aheadCount == 0)
        return window;
    const int64_t blockFrames = FramesPerBlock();
    const int64_t windowFirst = window.start * blockFrames;
    const int64_t windowLast = window.end * blockFrames;
    // The frames the read reaches within the window.
    int64_t low = 0;
    int64_t high = -1;
    if (!backwards && position >= windowFirst) {
        low = position;
        high = std::min<int64_t>(position + count, windowLast) - 1;
    } else if (backwards && position < windowLast) {
        low = std::max<int64_t>(position - count + 1, windowFirst);
        high = position;
    }
    const int32_t first = m_aheadFirst.load(std::memory_order_relaxed);
    const int32_t end = first + aheadCount;
    if (high < low || high < first * blockFrames || low >= end * blockFrames)
        return window;
    // The blocks are decoded in ascending order: the highest planned block reached decides.
    const auto needed = static_cast<uint32_t>(std::min<int64_t>(high / blockFrames, end - 1) - first + 1);
    uint32_t done = m_aheadDone.load(std::memory_order_acquire);
    while ((done & kAheadFailed) == 0 && done < needed) {
        m_aheadDone.wait(done, std::memory_order_acquire);
        done = m_aheadDone.load(std::memory_order_acquire);
    }
    const int32_t decodedEnd = first + static_cast<int32_t>(done & ~kAheadFailed);
    if ((done & kAheadFailed) == 0 || decodedEnd * blockFrames > high)
        return window;
    // The blocks from the failed one to the plan's end are a gap the read stops at.
    m_aheadGapRead.store(true, std::memory_order_relaxed);
    if (position >= decodedEnd * blockFrames && position < end * blockFrames)
        return {0, 0};
    Window readable = window;
    if (position < decodedEnd * blockFrames)
        readable.end = std::min(readable.end, decodedEnd);
    else
        readable.start = std::max(readable.start, end);
    return readable;
}

int CSampleStore::Read(uint32_t count, int16_t* left, int16_t* right) noexcept
{
    const int64_t endFrame = EndFrame();
    const int64_t blockFrames = FramesPerBlock();
    int64_t position = PlayPosition();
    const bool backwards = Backwards();
    const Window window = ReadableWindow(position, count, backwards);
    const int64_t windowFirst = window.start * blockFrames;
    const int64_t windowLast = window.end * blockFrames; // exclusive
    uint32_t i = 0;
    if (!backwards) {
        // Frames behind the window start belong to other blocks in the ring: not decoded.
        int64_t available = position >= windowFirst ? windowLast - position : 0;
        available = std::clamp<int64_t>(available, 0, count);
        for (; i < available; ++i, ++position) {
            left[i] = m_left[position & kRingMask];
            right[i] = m_right[position & kRingMask];
        }
        std::memset(left + i, 0, (count - i) * sizeof(int16_t));
        std::memset(right + i, 0, (count - i) * sizeof(int16_t));
        position = std::min<int64_t>(position + (count - i), std::max<int64_t>(endFrame, position));
    } else {
        int64_t available = position < windowLast ? position - windowFirst : 0;
        available = std::clamp<int64_t>(available, 0, count);
        for (; i < available; ++i, --position) {
            left[i] = m_left[position & kRingMask];
            right[i] = m_right[position & kRingMask];
        }
        std::memset(left + i, 0, (count - i) * sizeof(int16_t));
        std::memset(right + i, 0, (count - i) * sizeof(int16_t));
        position = std::max<int64_t>(position - (count - i), 0);
    }
    SetPlayPosition(static_cast<uint32_t>(position));
    return position >= endFrame ? 1 : 0;
}

void CSampleStore::ReadOverview(uint32_t startFrame, OverviewPair* pairs, uint32_t count,
                                float zoom) const noexcept
{
    const uint64_t blockFrames = FramesPerBlock();
    const Window window = DecodedWindow();
    const uint64_t firstIndex = static_cast<uint64_t>(std::max(window.start, 0)) * blockFrames >> 10;
    const uint64_t endIndex = static_cast<uint64_t>(std::max(window.end, 0)) * blockFrames >> 10;
    uint64_t index = startFrame / kOverviewFrames;
    const auto step = static_cast<uint64_t>(std::clamp(zoom, 0.0f, 65536.0f) * 65536.0f);
    uint64_t fraction = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (firstIndex <= index && index < endIndex) {
            const uint16_t packed =
                m_overview[index & (kOverviewEntries - 1)].load(std::memory_order_relaxed);
            pairs[i].high = static_cast<int8_t>(packed & 0xFF);
            pairs[i].low = static_cast<int8_t>(packed >> 8);
        } else {
            pairs[i] = {};
        }
        fraction += step;
        index += fraction >> 16;
        fraction &= 0xFFFF;
    }
}
