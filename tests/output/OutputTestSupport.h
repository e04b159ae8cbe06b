#pragma once

#include "AudioClient.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

class CAudioBus;

// What the application's client does to a block, made of formulas: the main group (type 1)
// carries a left/right pair, frame f holding MainSample(f) left and -MainSample(f) right; the
// monitor group (type 2) carries MonitorSample(f) on both sides. After endFrames frames the
// client has nothing more to give.
class CCodeClient : public CAudioClient {
public:
    explicit CCodeClient(uint32_t endFrames = UINT32_MAX) : m_endFrames(endFrames) {}

    int Render(ClientRecord& record, CAudioBus& bus, uint16_t firstTick,
               uint16_t tickCount) noexcept override;

    // Runs inside Render before the block is made (from the rendering thread).
    std::function<void()> duringRender;

    uint32_t FramesRendered() const noexcept { return m_frames.load(std::memory_order_acquire); }
    uint32_t Blocks() const noexcept { return m_blocks.load(std::memory_order_acquire); }

private:
    uint32_t m_endFrames;
    std::atomic<uint32_t> m_frames{0};
    std::atomic<uint32_t> m_blocks{0};
    uint8_t m_main = 0;
    uint8_t m_monitor = 0;
    bool m_registered = false;
};

// A frame counter that wraps every 20000 frames, so a sample tells which frame it came from.
int16_t MainSample(uint32_t frame);
int16_t MonitorSample(uint32_t frame);

// Interleaved stereo 16-bit of frames [first, first + count) of the main pair.
std::vector<int16_t> ExpectedMain(uint32_t first, uint32_t count);
