#include "Limiter.h"
bool CLimiter::Working() const noexcept
{
    for (int c = 0; c < 2; ++c) {
        if (m_envelopeHighMid[c] > 1.05f || m_envelopeHighMid[c + 2] > 1.05f || m_envelopeLow[c] > 1.05f ||
            m_envelopeSum[c] > 1.05f)
            return true;
    }
    return false;
}
