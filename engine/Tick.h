#pragma once

#include <cstdint>

// The engine renders, meters and replays Mix-Files in ticks of 128 frames at its rate of
// 44100 Hz: a tick is about 2.9 ms. A Mix-File counts its events in these ticks, so the length
// is part of the file format, not a tuning knob.
inline constexpr uint32_t kTickFrames = 128;
inline constexpr uint32_t kEngineRate = 44100; // Hz
inline constexpr double kTickSeconds = static_cast<double>(kTickFrames) / kEngineRate;
inline constexpr double kTickMs = kTickFrames * 1000.0 / kEngineRate;
// 0.34453125: the division is rounded once, so this is the same double as that literal.
inline constexpr double kTicksPerMs = kEngineRate / (kTickFrames * 1000.0);
