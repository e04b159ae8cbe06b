#pragma once

#include <atomic>
#include <cstdint>

// The play position a pacing thread hands to other threads: the frames audible when it last
// measured, whether the device was playing then, and when that was, in one atomic word so a
// reader never sees the parts of two measurements. Between measurements a reader extrapolates
// at the device's rate, by one block at most, since the pacing thread measures again before a
// second block can play; answers never go back.
class CPlayedFrameClock {
public:
    // User-interface thread, while no pacing thread runs.
    void SetFormat(uint32_t rateHz, uint32_t blockFrames) noexcept;
    // Forgets the position: the next answers count from 0 again.
    void Reset() noexcept;

    // The pacing thread (or the one that owns the device while none runs).
    void Publish(uint32_t frames, bool playing) noexcept;
    // The frames of the last Publish, without extrapolation.
    uint32_t PublishedFrames() const noexcept;

    // Any thread.
    // Frames audible so far, never less than an earlier answer since Reset.
    uint32_t Position() const noexcept;

private:
    uint32_t m_rateHz = 44100;  // the device's rate, non-zero
    uint32_t m_blockFrames = 0; // the most a reader adds to a measurement
    // The last measurement (high 32 bits, frames), when (bits 1..31, microseconds of the
    // steady clock, wrapping) and whether the device was playing (bit 0).
    std::atomic<uint64_t> m_snapshot{0};
    mutable std::atomic<uint32_t> m_lastAnswer{0}; // frames; keeps answers from going back
};
