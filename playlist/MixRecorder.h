#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

class CMixStream;

// Records a performance into the Mix-File event stream, tick by tick: the first tick carries
// every channel of the mix's channel table, later ticks only the channels an input set (even to
// the value it had) or whose value changed;
// a value below 256 takes one byte, one above 65535 (taken unsigned, so negatives too) four,
// anything else two. Deck positions go absolute on the first tick and whenever they move by
// more than 255 frames, else as a one-byte step up or down.
//
// A tick is recorded in two steps around the control dispatch: BeginTick takes the values the
// inputs set for the tick (before they are applied, as a replay writes them), EndTick the cue
// points as applying left them, and the deck positions taken before.
//
// Threads: Start and Finish on the user-interface thread (they allocate); BeginTick, EndTick and
// RecordTick on the audio thread, into the buffer Start reserved. A full buffer ends the
// recording rather than growing on the audio thread.
class CMixRecorder {
public:
    // About three hours of a busy mix.
    static constexpr size_t kDefaultCapacity = 32u << 20;

    explicit CMixRecorder(CMixStream& mix) : m_mix(mix) {}

    void Start(size_t capacityBytes = kDefaultCapacity);
    // Audio thread. False once the buffer is full or when not recording.
    bool BeginTick() noexcept;
    bool EndTick(int32_t positionA, int32_t positionB) noexcept;
    // Both steps at once.
    bool RecordTick(int32_t positionA, int32_t positionB) noexcept
    {
        return BeginTick() && EndTick(positionA, positionB);
    }
    // Stops and hands the stream to the mix (which builds its markers). Returns the tick count.
    uint32_t Finish();
    bool Recording() const noexcept { return m_recording.load(std::memory_order_acquire); }
    bool Overflowed() const noexcept { return m_overflowed; }
    uint32_t TickCount() const noexcept { return m_tickCount; }
    // Bytes of the stream recorded so far: between two ticks, where the next tick will start.
    size_t StreamBytes() const noexcept { return m_size; }

private:
    bool Put(uint32_t value, uint32_t size) noexcept;
    // Writes the changed channels of the cue functions (late) or of all others.
    bool PutChannels(bool late) noexcept;
    bool Overflow() noexcept;

    CMixStream& m_mix; // outlives the recorder
    std::vector<uint8_t> m_buffer;
    size_t m_size = 0;
    size_t m_tickStart = 0;
    uint32_t m_tickCount = 0;
    std::array<int32_t, 2> m_lastPosition{};
    std::atomic<bool> m_recording{false}; // Start/Finish publish it to the audio thread
    bool m_overflowed = false;
};
