#include "Limiter.h"

bool CLimiter::Working() const noexcept
{
    for (int c = 0; c < 2; ++c) {
        if (m_excessHighMid[c] > 0.05f || m_excessHighMid[c + 2] > 0.05f || m_excessLow[c] > 0.05f ||
            m_excessSum[c] > 0.05f)
            return true;
    }
    return false;
}

bool CLimiter::NoteRest() noexcept
{
    // Below half a float step at 1.0, 1.0 plus the excess is 1.0: the divisions are by 1.0.
    constexpr float kNoStep = 5.9604645e-8f; // 2^-24
    bool rest = true;
    for (int c = 0; c < 4; ++c)
        rest = rest && m_excessHighMid[c] < kNoStep && m_excessLow[c] < kNoStep && m_excessSum[c] < kNoStep;
    if (rest) {
        m_excessHighMid = Vec4{};
        m_excessLow = Vec4{};
        m_excessSum = Vec4{};
    }
    m_atRest = rest;
    return rest;
}

// high_j = sum over i <= j of p^(j-i) input_i - p^j carried - sum over i < j of p^i 1e-12, where
// p = kHighCarry and carried = middle + low as the block starts.
constexpr CLimiter::RestingWeights CLimiter::MakeWeights() noexcept
{
    RestingWeights w;
    for (int j = 0; j < 8; ++j) {
        double power = 1.0;
        double offset = 0.0;
        for (int i = j; i > 0; --i) {
            w.ofInput[i][j] = static_cast<float>(power);
            offset -= power;
            power *= kHighCarry;
        }
        w.ofInput[0][j] = static_cast<float>(power);
        w.ofCarried[j] = static_cast<float>(-power);
        w.ofOffset[j] = static_cast<float>(offset);
    }
    return w;
}

constinit const CLimiter::RestingWeights CLimiter::s_weights = CLimiter::MakeWeights();
