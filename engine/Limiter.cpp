#include "Limiter.h"
bool CLimiter::Working() const noexcept
{
    for (int c = 0; c < 2; ++c) {
        if (m_envelopeHigh[c] > 1.05f || m_envelopeMid[c] > 1.05f || m_envelopeLow[c] > 1.05f ||
            m_envelopeSum[c] > 1.05f)
            return true;
    }
    return false;
}
