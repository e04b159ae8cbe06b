#pragma once

#include <cstdint>
#include <string>

// What reading a track through found. A field that could not be measured keeps its "none"
// value, so a track that failed half-way still reports what its readable part gave.
enum class AnalysisStatus {
    Done,       // the whole track was read
    Partial,    // reading stopped early (a damaged file); the figures cover what was read
    Unreadable, // no source for the path, or it did not open
    Cancelled,  // stopped from outside before the end
};

struct TrackAnalysis {
    static constexpr double kNoLoudness = -200.0; // LUFS / dBTP of silence or of nothing read

    AnalysisStatus status = AnalysisStatus::Unreadable;
    std::string error;                 // a fixed English phrase when not Done, else empty
    uint32_t sampleRate = 0;           // Hz of the frames below
    int64_t framesRead = 0;            // frames decoded
    float tempo = 0.0f;                // BPM, 0 = no tempo found
    float tempoQuality = 0.0f;         // 0.0 .. 1.0: share of beats that sit on the grid
    int64_t firstBeatFrame = -1;       // frame of the first beat of the grid, -1 = no tempo
    double loudnessLufs = kNoLoudness; // EBU R128 integrated loudness
    double truePeakDb = kNoLoudness;   // dBTP, the louder channel
    int64_t firstAudibleFrame = -1;    // first frame above the audible threshold, -1 = silent
    int64_t lastAudibleFrame = -1;     // last such frame

    bool HasTempo() const { return tempo > 0.0f; }
    bool HasLoudness() const { return loudnessLufs > kNoLoudness; }
    bool IsSilent() const { return firstAudibleFrame < 0; }
};
