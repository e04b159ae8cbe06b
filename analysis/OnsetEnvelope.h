#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A fine-grained onset strength of a mono signal: the rise in log energy from one short hop to
// the next, kept only where it rises, over the whole band and over the bass alone (below about
// 150 Hz, where the kick drum is). Beat trackers work on hops of 10 ms or more; this finer curve
// places a beat's attack within a millisecond or two, and the bass curve tells the kick from the
// hi-hat between the kicks.
//
// Memory is bounded: past kMaxHops hops, further samples are ignored.
class COnsetEnvelope {
public:
    static constexpr int kHopFrames = 64;        // 1.45 ms at 44.1 kHz
    static constexpr size_t kMaxHops = 1u << 20; // about 25 minutes at 44.1 kHz

    enum class Band { Full, Bass };

    explicit COnsetEnvelope(uint32_t sampleRate = 44100);

    void Add(const float* mono, size_t frames);
    // Rise at each hop; hop i covers frames [i * kHopFrames, (i + 1) * kHopFrames).
    const std::vector<float>& Rises(Band band) const { return band == Band::Full ? m_rises : m_bassRises; }
    // The frame of the strongest rise within [centreFrame - radius, centreFrame + radius], or -1
    // when the window holds no rise above minRise.
    double StrongestRiseNear(Band band, double centreFrame, double radiusFrames, float minRise) const;
    // The strongest rise within the window (0 when it lies outside the curve).
    float PeakRiseNear(Band band, double centreFrame, double radiusFrames) const;

private:
    struct Hop {
        double energy = 0.0;      // sum of squares of the hop being filled
        float lastLevel = -10.0f; // log10 mean square of the previous hop
        void Close(std::vector<float>& rises);
    };
    int PeakHop(Band band, double centreFrame, double radiusFrames, float minRise) const;

    std::vector<float> m_rises;
    std::vector<float> m_bassRises;
    Hop m_full;
    Hop m_bass;
    int m_filled = 0;            // frames in the current hop so far
    float m_lowPassCoeff = 0.0f; // one-pole coefficient for 150 Hz
    float m_low1 = 0.0f;         // the two low-pass stages' states
    float m_low2 = 0.0f;
};
