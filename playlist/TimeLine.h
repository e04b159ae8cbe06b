#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

// One block of the Time Line: which deck plays which playlist entry, and where it is drawn.
struct TimeLineItem {
    int32_t deck = 0;          // 0 = "Deck A", 1 = "Deck B"
    int32_t track = -1;        // playlist entry id
    int32_t start = 0;         // ms on the displayed Time Line: display lengths of the items before
    int32_t length = 0;        // real play length, ms; 0 = not known
    int32_t displayLength = 0; // ms drawn; depends on the display mode
};

// The current and the following item, as the Automix step asks for them each tick.
struct TimeLineCursor {
    int index = -1; // current index, -1 past the end
    int deck = -1;
    int track = -1;
    int nextDeck = -1;
    int nextTrack = -1; // -1 after the last item
};

// The play order of the Time Line list: at most 999 items with deck, entry id, start and
// lengths, the position being played and the current item.
//
// Threads: the audio thread reads (Count, Item, CurrentAndNext, position, current index) and
// moves the position and current index every tick; the user thread makes whole-list changes
// only while the application holds its busy flag, so the audio thread stays out. Nothing here
// allocates or locks after construction: the items live in a fixed array inside the object, and
// the scalars are relaxed atomics, which read like plain words.
class CTimeLine {
public:
    static constexpr int kMaxItems = 999;
    static constexpr int32_t kMinDisplayMs = 170000; // the shortest block drawn in Automix

    enum DisplayMode : int {
        kRealLengths = 0, // DJ-Mix: blocks as long as they play
        kAtLeastMin = 1,  // Automix: short tracks drawn 170 s long
        kFixed = 2        // Automix with fixed blocks: every track 170 s
    };

    // rand()-style generator: 0..32767.
    using RandomSource = std::function<int()>;

    CTimeLine() = default;
    CTimeLine(const CTimeLine&) = delete;
    CTimeLine& operator=(const CTimeLine&) = delete;

    // User thread, under the application's busy flag.
    void Clear();
    void SetDisplayMode(int mode);
    // deck alternates with the index; false (nothing changed) when 999 items exist.
    bool Append(int32_t track, int32_t lengthMs, bool relayout);
    bool InsertAt(int index, int32_t deck, int32_t track, int32_t startMs, int32_t lengthMs);
    bool RemoveAt(int index, bool relayout);
    // Number of items removed.
    int RemoveTrack(int32_t track, bool relayout);
    bool Move(int32_t track, int newIndex);
    void Shuffle(const RandomSource& random);
    // A learned play length; later starts follow. False when no item holds the track.
    bool SetTrackLength(int32_t track, int32_t lengthMs);

    // Any thread.
    int Count() const { return m_count.load(std::memory_order_relaxed); }
    int DisplayMode() const { return m_displayMode.load(std::memory_order_relaxed); }
    // Null when index names no item.
    const TimeLineItem* Item(int index) const;
    bool FindTrack(int32_t track, int& index) const;
    TimeLineCursor CurrentAndNext() const;
    uint32_t Position() const { return m_position.load(std::memory_order_relaxed); }
    void SetPosition(uint32_t positionMs);
    int CurrentIndex() const { return m_current.load(std::memory_order_relaxed); }
    void SetCurrentIndex(int index);
    // ms actually played up to the position, and the real length of the whole list.
    int64_t ElapsedRealTime() const;
    int64_t TotalRealTime() const;
    // Set by every change; the display clears it after redrawing.
    bool Changed() const { return m_changed.load(std::memory_order_relaxed); }
    void ClearChanged() { m_changed.store(false, std::memory_order_relaxed); }

private:
    int32_t DisplayLength(int32_t lengthMs) const;
    void Realternate(int from, int32_t deck);
    void RecomputeStarts();
    void MarkChanged() { m_changed.store(true, std::memory_order_relaxed); }

    std::atomic<int> m_count{0};         // 0..999
    std::atomic<uint32_t> m_position{0}; // ms on the displayed Time Line
    std::atomic<int> m_current{0};       // index of the item now playing; may equal m_count
    std::atomic<int> m_displayMode{kRealLengths};
    std::atomic<bool> m_changed{true};
    std::array<TimeLineItem, kMaxItems> m_items{};
};
