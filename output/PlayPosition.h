#pragma once

#include <cstdint>

// Turns a device's play counter into a position that never goes back: when the counter
// restarts (after a reset or a recovered underrun), what was reported so far becomes the base
// that later counts are added to.
//
// Thread: whoever owns the driver's device calls; not shared.
class CPlayPosition {
public:
    void Reset() noexcept
    {
        m_lastReported = 0;
        m_baseOffset = 0;
    }
    // Frames audible for a device counter of deviceFrames. A counter less than a block short of
    // the last report is taken as jitter and reported as it is.
    uint32_t Report(uint32_t deviceFrames, uint32_t blockFrames) noexcept;

private:
    uint32_t m_lastReported = 0; // frames
    uint32_t m_baseOffset = 0;   // frames added to the device counter
};
