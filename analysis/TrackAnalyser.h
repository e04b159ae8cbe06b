#pragma once

#include "TrackAnalysis.h"

#include <atomic>

// Reads a track through the sources (so every format the build reads) and measures its tempo
// and beat phase, its EBU R128 integrated loudness and true peak, and its audible range: the
// first and last frame whose louder channel reaches -60 dBFS (a fade's tail below that is
// silence to a listener on a dance floor).
//
// Runs on whatever thread calls it, allocating and reading files: never the audio, loader or
// refill thread. Memory is bounded per track whatever its length (see CTempoTracker).
class CTrackAnalyser {
public:
    static constexpr double kAudibleDbfs = -60.0;

    // cancel, when given, is polled between blocks; setting it stops the analysis with
    // AnalysisStatus::Cancelled.
    static TrackAnalysis Analyse(const char* path, const std::atomic<bool>* cancel = nullptr);
};
