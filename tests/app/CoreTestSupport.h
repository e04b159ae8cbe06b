#pragma once

#include "AudioBus.h"
#include "AudioClient.h"
#include "PlayerCore.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Drives a player core tick by tick, as the offline renderer does: the decks' loads and refills
// are served synchronously before every tick, so each run of the same input gives the same
// samples. The main mix of every tick is kept.
class CCoreRun {
public:
    explicit CCoreRun(CPlayerCore& core);
    ~CCoreRun();

    // beforeRender runs after the loads were served, as input arriving during the tick does.
    void Tick(const std::function<void()>& beforeRender = {});
    void Ticks(uint32_t count);
    uint32_t TickIndex() const { return m_tick; }
    double Seconds() const { return m_tick * 128.0 / 44100.0; }

    std::vector<int16_t> left;
    std::vector<int16_t> right;

private:
    CPlayerCore& m_core;
    CAudioBus m_bus{44100, 1};
    ClientRecord m_record{};
    uint32_t m_tick = 0;
};

// A stereo WAV of a sine at hz, seconds long, both channels alike.
std::string WriteToneTrack(const std::string& path, double hz, double seconds);
// Amplitude of hz in left[from, from + count) (Goertzel over the window).
double WindowAmplitude(const std::vector<int16_t>& samples, double hz, size_t from, size_t count);
