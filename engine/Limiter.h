#pragma once

// The peak limiter of one main channel. The signal is split into three parts (fast, middle,
// slow), each divided by its own envelope, and their sum by a fourth, so a loud bass does not
// pump the highs and the output never leaves -1.0 .. +1.0. An envelope jumps up to a peak at
// once and relaxes towards 1.0 (no gain change) with its own time constant; with every
// envelope at 1.0 the output equals the input.
//
// Thread: the audio thread (inside the mixer's Process).
class CLimiter {
public:
    float Process(float input) noexcept;
    // Any envelope above 1.05: the limiter is clearly working (the overload lamp).
    bool Working() const noexcept;
    void Reset() noexcept { *this = CLimiter(); }

private:
    float m_bandMid = 0;      // 0.07 x the last split input
    float m_bandLow = 1e-12f; // 0.0049 x the last split input
    float m_envelopeHigh = 1.0f;
    float m_envelopeMid = 1.0f;
    float m_envelopeLow = 1.0f;
    float m_envelopeSum = 1.0f;
};
