#include "TempoTracker.h"

#include <dsp/onsets/DetectionFunction.h>
#include <dsp/tempotracking/TempoTrackV2.h>

#include <algorithm>

CTempoTracker::CTempoTracker(uint32_t sampleRate)
    : m_sampleRate(std::max(1u, sampleRate)), m_maxFrames(static_cast<size_t>(kMaxSeconds * m_sampleRate)),
      m_window(kWindowFrames, 0.0), m_envelope(m_sampleRate)
{
    DFConfig config{};
    config.stepSize = kHopFrames;
    config.frameLength = kWindowFrames;
    config.DFType = DF_COMPLEXSD;
    config.dbRise = 3.0;
    config.adaptiveWhitening = false;
    config.whiteningRelaxCoeff = -1.0;
    config.whiteningFloor = -1.0;
    m_detection = std::make_unique<DetectionFunction>(config);
    m_detectionValues.reserve(m_maxFrames / kHopFrames + 1);
}

CTempoTracker::~CTempoTracker() = default;

void CTempoTracker::Add(const float* mono, size_t frames)
{
    frames = std::min(frames, m_maxFrames - m_framesTaken);
    m_framesTaken += frames;
    m_envelope.Add(mono, frames);
    for (size_t i = 0; i < frames; ++i) {
        // The window slides by one hop: its second half moves to the front.
        if (m_windowFilled == kWindowFrames) {
            std::copy(m_window.begin() + kHopFrames, m_window.end(), m_window.begin());
            m_windowFilled = kWindowFrames - kHopFrames;
        }
        m_window[static_cast<size_t>(m_windowFilled++)] = mono[i];
        if (m_windowFilled == kWindowFrames)
            m_detectionValues.push_back(m_detection->processTimeDomain(m_window.data()));
    }
}

BeatGrid CTempoTracker::Finish()
{
    // The library's own plug-in drops the first two values, which the window's start spoils;
    // the tracker needs a few seconds to say anything.
    constexpr size_t kSkipped = 2;
    if (m_detectionValues.size() < kSkipped + static_cast<size_t>(4 * m_sampleRate / kHopFrames))
        return {};
    std::vector<double> values(m_detectionValues.begin() + kSkipped, m_detectionValues.end());
    TempoTrackV2 tracker(static_cast<float>(m_sampleRate), kHopFrames);
    std::vector<double> periods(values.size(), 0.0); // the library fills it in place
    std::vector<double> tempi;
    tracker.calculateBeatPeriod(values, periods, tempi);
    std::vector<double> beats;
    tracker.calculateBeats(values, periods, beats);
    // Detection value i covers the window that starts at hop i.
    for (double& beat : beats)
        beat = (beat + kSkipped) * kHopFrames + kWindowFrames / 2.0;
    return CBeatGridFit::Fit(beats, &m_envelope, m_sampleRate);
}
