#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Drum tracks with a known tempo and beat phase, made from synthesised kicks, snares, hats,
// pads and noise: the set the tempo tracker is scored on. Deterministic: the same list every
// run.
enum class DrumPattern {
    FourOnTheFloor, // kick on every beat, open hat on the off-beats
    Broken,         // kicks on 1, the "and" of 2, and 3; snares on 2 and 4
    Swing,          // kicks on 1 and 3, snares on 2 and 4, hats on swung eighths
    BackBeat,       // kicks on 1, 3 and the "and" of 3, snares on 2 and 4, hats on eighths
};

struct BeatTrackRecipe {
    double tempo = 120.0; // BPM, 70 .. 180
    DrumPattern pattern = DrumPattern::FourOnTheFloor;
    double swing = 0.5;        // where the off-beat eighth falls, 0.5 = straight, 0.66 = triplet
    double noiseDb = -200.0;   // white noise level relative to full scale
    bool pad = false;          // a sustained chord under the drums
    double introSeconds = 0.0; // pad (or silence) before the first beat
    double seconds = 40.0;     // drums after the intro
    uint32_t seed = 1;

    std::string Name() const;
};

struct StereoSignal {
    std::vector<int16_t> left;
    std::vector<int16_t> right;
};

// The set: tempos spread over 70 to 180 BPM (with non-integer ones such as 123.45), every
// pattern, with and without swing, noise, pads and intros.
std::vector<BeatTrackRecipe> BeatTestSet();

// The track at 44.1 kHz; its first beat falls at FirstBeatFrame(recipe).
StereoSignal RenderBeatTrack(const BeatTrackRecipe& recipe, uint32_t rate = 44100);
double FirstBeatFrame(const BeatTrackRecipe& recipe, uint32_t rate = 44100);
