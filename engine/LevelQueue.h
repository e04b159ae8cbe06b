#pragma once

#include <array>
#include <atomic>
#include <cstdint>

// Time-stamped meter readings between the audio thread, which computes them up to a block ahead
// of the device, and the meters, which show them when the device plays them: a ring of 512
// {time ms, level 0..255} entries. A producer that laps the consumer overwrites the oldest.
//
// One producer (the audio thread) and one consumer (the user-interface thread); no lock.
class CLevelQueue {
public:
    static constexpr uint32_t kEntries = 512;

    CLevelQueue();

    // Audio thread.
    void Push(int32_t timeMs, int32_t level) noexcept;

    // User-interface thread: removes every entry stamped at or before nowMs, oldest first, and
    // reports the largest level among them (or the last one); false when none was due.
    bool PopUntil(int32_t nowMs, bool takeMaximum, int32_t& level) noexcept;

private:
    // Each entry packs the time stamp, the level and the low 24 bits of its push count, so the
    // consumer can tell an entry the producer has already overwritten on its next lap.
    std::array<std::atomic<uint64_t>, kEntries> m_entries;
    std::atomic<uint64_t> m_written{0}; // pushes so far
    uint64_t m_read = 0;                // consumer only: entries consumed or skipped
};
