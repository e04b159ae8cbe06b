#pragma once

#include <cstdint>
#include <vector>

class COnsetEnvelope;

// A steady beat: beat k falls at firstBeatFrame + k * periodFrames.
struct BeatGrid {
    double periodFrames = 0.0; // 0 = no grid
    double firstBeatFrame = -1.0;
    float quality = 0.0f; // share of the tracker's beats that sit on the grid, 0.0 .. 1.0

    bool Found() const { return periodFrames > 0.0; }
};

// Turns the beats a tracker reports (frames, ascending, with misses and strays) into one steady
// grid: numbers the beats by the median interval, fits a line through them by least squares,
// drops beats far from it and fits again. With an onset envelope, each grid beat then moves to
// the attack nearest it and the line is fitted through those: a tracker reports beats on hops
// of 10 ms or so, which caps the phase but not the period, as the period comes from the slope
// over hundreds of beats. The envelope also settles which of the beat and the off-beat the kick
// falls on, and a doubled or halved tempo.
class CBeatGridFit {
public:
    static constexpr int kMinBeats = 8; // fewer is no tempo: a 2-second track, a lone hit
    // The tempo range a grid is put into where the beats allow two readings (dance music from
    // downtempo to drum and bass); wider than an octave, so halving and doubling are decided by
    // where the kicks and the snares fall, not by the range alone.
    static constexpr double kMinTempo = 70.0;  // BPM
    static constexpr double kMaxTempo = 180.0; // BPM

    static BeatGrid Fit(const std::vector<double>& beatFrames, const COnsetEnvelope* envelope,
                        uint32_t sampleRate);
};
