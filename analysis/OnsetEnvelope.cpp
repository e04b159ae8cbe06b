#include "OnsetEnvelope.h"

#include <algorithm>
#include <cmath>

COnsetEnvelope::COnsetEnvelope(uint32_t sampleRate)
    : m_lowPassCoeff(
          static_cast<float>(1.0 - std::exp(-2.0 * 3.14159265358979 * 150.0 / std::max(1u, sampleRate))))
{
}

void COnsetEnvelope::Hop::Close(std::vector<float>& rises)
{
    // 1e-10 keeps digital silence at a finite level of -100 dB
    const float level = static_cast<float>(std::log10(energy / kHopFrames + 1e-10));
    rises.push_back(std::max(0.0f, level - lastLevel));
    lastLevel = level;
    energy = 0.0;
}

void COnsetEnvelope::Add(const float* mono, size_t frames)
{
    if (m_rises.size() >= kMaxHops)
        return;
    for (size_t i = 0; i < frames; ++i) {
        // Two one-pole stages: a kick's body passes, a hi-hat's hiss is 40 dB down.
        m_low1 += m_lowPassCoeff * (mono[i] - m_low1);
        m_low2 += m_lowPassCoeff * (m_low1 - m_low2);
        m_full.energy += static_cast<double>(mono[i]) * mono[i];
        m_bass.energy += static_cast<double>(m_low2) * m_low2;
        if (++m_filled < kHopFrames)
            continue;
        m_filled = 0;
        m_full.Close(m_rises);
        m_bass.Close(m_bassRises);
        if (m_rises.size() >= kMaxHops)
            return;
    }
}

int COnsetEnvelope::PeakHop(Band band, double centreFrame, double radiusFrames, float minRise) const
{
    const std::vector<float>& rises = Rises(band);
    const double first = std::max(0.0, std::ceil((centreFrame - radiusFrames) / kHopFrames));
    const double last =
        std::min(static_cast<double>(rises.size()) - 1.0, (centreFrame + radiusFrames) / kHopFrames);
    int best = -1;
    float bestRise = minRise;
    for (int i = static_cast<int>(first); i <= static_cast<int>(last); ++i) {
        if (rises[static_cast<size_t>(i)] > bestRise) {
            bestRise = rises[static_cast<size_t>(i)];
            best = i;
        }
    }
    return best;
}

double COnsetEnvelope::StrongestRiseNear(Band band, double centreFrame, double radiusFrames,
                                         float minRise) const
{
    const int best = PeakHop(band, centreFrame, radiusFrames, minRise);
    // An attack in the first half of a hop raises that hop most, one in the second half the
    // next: the hop's start is within half a hop of the attack either way.
    return best < 0 ? -1.0 : static_cast<double>(best) * kHopFrames;
}

float COnsetEnvelope::PeakRiseNear(Band band, double centreFrame, double radiusFrames) const
{
    const int best = PeakHop(band, centreFrame, radiusFrames, 0.0f);
    return best < 0 ? 0.0f : Rises(band)[static_cast<size_t>(best)];
}
