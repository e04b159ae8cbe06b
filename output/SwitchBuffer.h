#pragma once

#include "Tick.h"

#include <cstdint>
#include <vector>

// The frames one instance of the pro-audio driver holds for the server: each block the
// manager renders is appended after the frames carried over from the last buffer switch, and
// every switch takes exactly one server buffer from the front. The engine renders whole ticks
// of 128 frames while the server asks for its own buffer size, so what is left over is carried.
//
// The static members are the size and tick arithmetic of the buffer switch.
//
// Thread: Configure on the user-interface thread; the rest on the server's process thread.
class CSwitchBuffer {
public:
    static constexpr uint32_t kMaxBlockFrames = 16384;

    struct Sizes {
        uint32_t blockFrames;  // what the engine renders at most per switch
        uint32_t bufferFrames; // what each switch hands to the server
    };
    // The block is the preferred size rounded up to whole ticks. When resampling, or when the
    // server cannot take that rounded block as its buffer (maximum below it), one more tick is
    // added to the block and the buffer stays the preferred size, so frames carry over.
    static Sizes SizesFor(uint32_t preferredFrames, uint32_t maximumFrames, bool resampling) noexcept;
    // Ticks to render so that carried plus the new frames fill a buffer; 0 when the carried
    // frames already fill it (a strong upsampling ratio with a small buffer). Blocks rendered
    // at inputRate are resampled to outputRate; when that shrinks them (a server slower than
    // the engine) the ticks grow to match, with one frame for the resampler's rounding.
    static uint32_t TicksFor(uint32_t bufferFrames, uint32_t carriedFrames, uint32_t inputRateHz = 1,
                             uint32_t outputRateHz = 1) noexcept;
    // Frames the engine must be able to render in one switch for a server buffer.
    static uint32_t InputFramesFor(uint32_t bufferFrames, uint32_t inputRateHz,
                                   uint32_t outputRateHz) noexcept;
    // Frames an instance may have to hold: the carried frames plus one switch's rendering,
    // at outputRate for blocks rendered at inputRate.
    static uint32_t CapacityFor(uint32_t bufferFrames, uint32_t inputRateHz, uint32_t outputRateHz) noexcept;

    // User-interface thread: allocates both channels.
    void Configure(uint32_t capacityFrames);

    // Process thread.
    void Clear() noexcept { m_fill = 0; }
    uint32_t Carried() const noexcept { return m_fill; }
    uint32_t Room() const noexcept { return m_capacity - m_fill; }
    // Where new frames of a channel (0 left, 1 right) go; Grow makes them count.
    float* Tail(int channel) noexcept { return m_channels[channel].data() + m_fill; }
    void Grow(uint32_t frames) noexcept;
    // Appends 16-bit frames (stereo, or mono to both channels) scaled by 1/32768; returns the
    // frames taken, fewer when there is no room.
    uint32_t AppendSamples(const int16_t* samples, uint32_t frames, bool stereo) noexcept;
    // Copies the first bufferFrames frames into the two destinations (a null one is skipped)
    // and keeps the rest as carried frames. Returns the frames copied, fewer than asked when
    // the buffer held less (the caller's destinations keep their silence there).
    uint32_t Deliver(float* left, float* right, uint32_t bufferFrames) noexcept;

private:
    std::vector<float> m_channels[2];
    uint32_t m_capacity = 0; // frames per channel
    uint32_t m_fill = 0;     // frames held; after a switch, the carried frames
};
