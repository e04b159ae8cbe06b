#pragma once

#include "BeatGridFit.h"
#include "OnsetEnvelope.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class DetectionFunction;

// Tempo and beat phase of a mono signal fed in pieces. The Queen Mary DSP library's complex
// spectral difference and its two-state tempo tracker find the beats; CBeatGridFit turns them
// into one grid. Chosen over aubio's tracker by measurement on the generated drum set (see
// tools/TempoCompare.cpp): it found the tempo of more tracks and doubled or halved fewer.
//
// Memory is bounded: only the first kMaxSeconds of a track are tracked; a steady tempo is
// settled long before, and a three-hour mix has no one tempo anyway.
class CTempoTracker {
public:
    static constexpr double kMaxSeconds = 20.0 * 60.0;

    explicit CTempoTracker(uint32_t sampleRate);
    ~CTempoTracker();
    CTempoTracker(const CTempoTracker&) = delete;
    CTempoTracker& operator=(const CTempoTracker&) = delete;

    void Add(const float* mono, size_t frames);
    BeatGrid Finish();

private:
    static constexpr int kHopFrames = 512; // 11.6 ms at 44.1 kHz
    static constexpr int kWindowFrames = 1024;

    uint32_t m_sampleRate;
    size_t m_maxFrames;
    size_t m_framesTaken = 0;
    std::unique_ptr<DetectionFunction> m_detection;
    std::vector<double> m_window; // the last kWindowFrames samples
    int m_windowFilled = 0;       // samples in m_window before it first fills, then since the last hop
    std::vector<double> m_detectionValues; // one per hop
    COnsetEnvelope m_envelope;
};
