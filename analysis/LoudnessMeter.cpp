#include "LoudnessMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>

CLoudnessMeter::CLoudnessMeter(uint32_t sampleRate)
    : m_state(ebur128_init(2, sampleRate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK))
{
}

CLoudnessMeter::~CLoudnessMeter()
{
    if (m_state != nullptr)
        ebur128_destroy(&m_state);
}

void CLoudnessMeter::Add(const int16_t* interleaved, size_t frames)
{
    if (m_state != nullptr)
        ebur128_add_frames_short(m_state, interleaved, frames);
}

double CLoudnessMeter::IntegratedLufs() const
{
    double lufs = kNone;
    if (m_state == nullptr || ebur128_loudness_global(m_state, &lufs) != EBUR128_SUCCESS ||
        !std::isfinite(lufs))
        return kNone;
    return std::max(kNone, lufs);
}

double CLoudnessMeter::TruePeakDb() const
{
    double peak = 0.0;
    for (unsigned channel = 0; channel < 2 && m_state != nullptr; ++channel) {
        double channelPeak = 0.0;
        if (ebur128_true_peak(m_state, channel, &channelPeak) == EBUR128_SUCCESS)
            peak = std::max(peak, channelPeak);
    }
    return peak > 0.0 ? std::max(kNone, 20.0 * std::log10(peak)) : kNone;
}
