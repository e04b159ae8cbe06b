#include "Limiter.h"

#include <cmath>

namespace {

// Per-sample relaxation towards 1.0: about 63 ms, 250 ms, 1 s and 315 ms to fall by 1/e.
constexpr float kReleaseHigh = 0.99964061f;
constexpr float kReleaseMid = 0.99990973f;
constexpr float kReleaseLow = 0.99997733f;
constexpr float kReleaseSum = 0.99992829f;

// Relaxes the envelope, then lifts it to the part's magnitude. Relaxing first means the divisor
// is never below the magnitude, so the quotient never exceeds 1.0: lifting first and relaxing
// after would let a full-scale peak through at 1.00004, which wraps to -32768 in 16 bits.
float Divide(float part, float& envelope, float release) noexcept
{
    envelope = (envelope - 1.0f) * release + 1.0f;
    envelope = std::fmax(envelope, std::fabs(part));
    return part / envelope;
}

} // namespace

float CLimiter::Process(float input) noexcept
{
    // The split uses the previous sample's parts, so the three add back to the input exactly.
    const float high = input - 2.0f * m_bandMid - m_bandLow;
    const float mid = 2.0f * m_bandMid;
    const float low = m_bandLow;
    m_bandMid = 0.07f * high;
    m_bandLow = 0.0049f * high + 1e-12f;
    const float sum = Divide(high, m_envelopeHigh, kReleaseHigh) + Divide(mid, m_envelopeMid, kReleaseMid) +
                      Divide(low, m_envelopeLow, kReleaseLow);
    return Divide(sum, m_envelopeSum, kReleaseSum);
}

bool CLimiter::Working() const noexcept
{
    return m_envelopeHigh > 1.05f || m_envelopeMid > 1.05f || m_envelopeLow > 1.05f || m_envelopeSum > 1.05f;
}
