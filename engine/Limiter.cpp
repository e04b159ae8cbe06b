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
