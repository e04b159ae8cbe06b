#include "AutoFadeRamp.h"

void CAutoFadeRamp::Start(float currentValue, int target, double durationSeconds) noexcept
{
    m_active = true;
    m_value = currentValue;
    m_target = target;
    m_durationSeconds = durationSeconds;
}

bool CAutoFadeRamp::Advance(double tickMs) noexcept
{
    if (!m_active)
        return false;
    if (m_durationSeconds >= 0.0) {
        // A fade of no length (or one so short the step overflows) lands at once.
        const double step = m_durationSeconds > 0.0 ? tickMs * 255.0 / (m_durationSeconds * 1000.0) : 256.0;
        const double target = m_target;
        const double next = m_value < target ? m_value + step : m_value - step;
        if ((m_value < target && next >= target) || (m_value >= target && next <= target)) {
            m_value = static_cast<float>(target);
            m_active = false;
        } else {
            m_value = static_cast<float>(next);
        }
    } else {
        m_durationSeconds += tickMs / 1000.0;
        if (m_durationSeconds >= 0.0) {
            m_value = static_cast<float>(m_target);
            m_active = false;
        }
    }
    return true;
}

void CAutoFadeRamp::Freeze() noexcept
{
    m_target = static_cast<int>(m_value);
    m_active = false;
}

void CAutoFadeRamp::Complete() noexcept
{
    m_value = static_cast<float>(m_target);
    m_active = false;
}
