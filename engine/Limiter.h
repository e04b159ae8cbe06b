#pragma once

#include <algorithm>
#include <array>
#include <cmath>

// The peak limiter of the main mix, both channels side by side. Each channel is split into
// three parts (fast, middle, slow), each divided by its own envelope, and their sum by a fourth,
// so a loud bass does not pump the highs and the output never leaves -1.0 .. +1.0. An envelope
// jumps up to a peak at once and relaxes towards 1.0 (no gain change) with its own time
// constant; with every envelope at 1.0 the output equals the input.
//
// Thread: the audio thread (inside the mixer's Process).
class CLimiter {
public:
    // Limits one frame of the main mix in place.
    // Inline: it runs once per frame inside the mixer's loop.
    void Process(std::array<float, 2>& frame) noexcept;
    // Any of the eight envelopes above 1.05: the limiter is clearly working (the overload lamp).
    bool Working() const noexcept;

private:
    // Per-sample relaxation towards 1.0: about 63 ms, 250 ms, 1 s and 315 ms to fall by 1/e.
    static constexpr float kReleaseHigh = 0.99964061f;
    static constexpr float kReleaseMid = 0.99990973f;
    static constexpr float kReleaseLow = 0.99997733f;
    static constexpr float kReleaseSum = 0.99992829f;

    // Relaxes the envelope, then lifts it to the part's magnitude. Relaxing first means the
    // divisor is never below the magnitude, so the quotient never exceeds 1.0: lifting first and
    // relaxing after would let a full-scale peak through at 1.00004, which wraps to -32768 in 16
    // bits.
    static float Divide(float part, float& envelope, float release) noexcept
    {
        envelope = std::max((envelope - 1.0f) * release + 1.0f, std::fabs(part));
        return part / envelope;
    }

    using Pair = std::array<float, 2>;
    Pair m_bandMid{};               // 0.07 x the last split input
    Pair m_bandLow{1e-12f, 1e-12f}; // 0.0049 x the last split input
    Pair m_envelopeHigh{1.0f, 1.0f};
    Pair m_envelopeMid{1.0f, 1.0f};
    Pair m_envelopeLow{1.0f, 1.0f};
    Pair m_envelopeSum{1.0f, 1.0f};
};

inline void CLimiter::Process(std::array<float, 2>& frame) noexcept
{
    // Both channels in one loop of two, which the compiler runs as one vector operation.
    for (int c = 0; c < 2; ++c) {
        // The split uses the previous sample's parts, so the three add back to the input exactly.
        const float high = frame[c] - 2.0f * m_bandMid[c] - m_bandLow[c];
        const float mid = 2.0f * m_bandMid[c];
        const float low = m_bandLow[c];
        m_bandMid[c] = 0.07f * high;
        m_bandLow[c] = 0.0049f * high + 1e-12f;
        const float sum = Divide(high, m_envelopeHigh[c], kReleaseHigh) +
                          Divide(mid, m_envelopeMid[c], kReleaseMid) +
                          Divide(low, m_envelopeLow[c], kReleaseLow);
        frame[c] = Divide(sum, m_envelopeSum[c], kReleaseSum);
    }
}
