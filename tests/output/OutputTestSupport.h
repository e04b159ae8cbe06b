#pragma once

#include "AudioClient.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>
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

// Sine tones of amplitude 8000: the main group (type 1) carries mainHz[0] hard left and
// mainHz[1] hard right, the monitor group (type 2) monitorHz[0] left and monitorHz[1] right.
class CToneClient : public CAudioClient {
public:
    CToneClient(std::array<double, 2> mainHz, std::array<double, 2> monitorHz)
        : m_mainHz(mainHz), m_monitorHz(monitorHz)
    {
    }

    int Render(ClientRecord& record, CAudioBus& bus, uint16_t firstTick,
               uint16_t tickCount) noexcept override;

    uint32_t Blocks() const noexcept { return m_blocks.load(std::memory_order_acquire); }

private:
    std::array<double, 2> m_mainHz;
    std::array<double, 2> m_monitorHz;
    uint32_t m_frames = 0;
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

using SteadyClock = std::chrono::steady_clock;

// Frames rendered per second between 1 s and 4 s after the first block, from the time each
// block was asked for; a sound server's start-up delay falls before the window.
double MeasuredRate(const std::vector<SteadyClock::time_point>& times, uint32_t blockFrames);

// A reading of a driver's play position, taken between two readings of the frames the client
// had rendered and two readings of the clock.
struct PositionReading {
    SteadyClock::time_point before;
    SteadyClock::time_point after;
    uint32_t position = 0;       // frames, as the driver reported them
    uint32_t renderedBefore = 0; // frames
    uint32_t renderedAfter = 0;  // frames
    uint32_t interruptions = 0;  // underruns and stalls counted so far, as the test counts them
};

// Frames per second: the least-squares slope of frame counts against the times they were
// taken at. Every point weighs in, so one late reading at either end of a window moves the
// result by far less than it moves a rate taken from the end points alone. 0 for fewer than two.
double FittedRate(const std::vector<std::pair<SteadyClock::time_point, double>>& points);

// Sets an environment variable for the life of the object (PULSE_SERVER: which server the
// sound-server clients reach).
class CEnvOverride {
public:
    CEnvOverride(const char* name, const std::string& value);
    ~CEnvOverride();
    CEnvOverride(const CEnvOverride&) = delete;
    CEnvOverride& operator=(const CEnvOverride&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_hadOld = false;
};

// Looks at done() every millisecond until it holds; false when the limit passed first. Spinning
// instead would take a whole core from the audio threads and the sound server on a small machine.
template <class Condition> bool WaitUntil(Condition done, std::chrono::milliseconds limit)
{
    const auto end = SteadyClock::now() + limit;
    while (!done()) {
        if (SteadyClock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
