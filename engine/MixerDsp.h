#pragma once

#include <array>
#include <atomic>
#include <cstdint>

// The mixing desk: once per tick it takes 128 frames of four deck channels (A left, A right,
// B left, B right; floats, 1.0 = full scale) and gives the main mix (left, right) and the
// monitor mix (left, right).
//
// This first form passes deck A to the main outputs and deck B to the monitor outputs, clipped
// to full scale, and measures their peaks; the equalisers, filters, cross-fader and limiter
// replace the pass-through behind the same interface.
//
// Threads: Process and SetParam on the audio thread (the control dispatch runs there between
// ticks); LevelReading is a plain read from any thread.
class CMixerDsp {
public:
    static constexpr int kInputs = 4;
    static constexpr int kOutputs = 4;
    static constexpr int kParams = 40;
    static constexpr int kReadings = 6;

    CMixerDsp();

    // Audio thread.
    void SetParam(int number, float value) noexcept;
    float GetParam(int number) const noexcept;
    void Process(const std::array<const float*, kInputs>& inputs, const std::array<float*, kOutputs>& outputs,
                 uint32_t frames) noexcept;

    // Any thread: reading k = 0 deck A, 1 deck B, 2 and 3 the decks after their main gain,
    // 4 master output, 5 overload (1.0 while held); 0 .. 1.
    float LevelReading(int k) const noexcept;

private:
    std::array<float, kParams> m_params{};
    std::array<std::atomic<float>, kReadings> m_readings;
};
