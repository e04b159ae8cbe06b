#include "ScratchFilter.h"

#include <algorithm>
#include <cmath>

namespace {
// The platter's spring: 2 pi x 10 Hz over one tick (128 / 44100 s), with damping -1.34.
constexpr float kSpring = 0.1823637188208617f;
constexpr float kDamping = -1.34f;
constexpr float kPlatterToSpeed = 0.516796875f;
constexpr float kSpeedToPlatter = 1.9349962207105063f;
// Largest speed change per tick outside scratching: 5.5 per second, 1.0 in 63 ticks.
constexpr float kSlope = 0.01596371882086168f;
// The hand closes on its target with a 60 ms time constant.
constexpr float kHandFollow = 0.04837490551776266f;
constexpr float kHandMaxVelocity = 13.544973544973544f;
// 1e-12 keeps the decaying platter state out of denormals.
constexpr float kTiny = 1e-12f;
} // namespace

float CScratchFilter::Run(float speed) noexcept
{
    m_handPosition += m_handVelocity;
    if ((m_handPosition - m_handTarget) * m_handVelocity > 0) {
        m_handPosition = m_handTarget;
        m_handVelocity = 0;
    }
    if (m_handVelocity == 0) {
        // Only the distance between hand and platter drives the platter, so a resting hand is
        // moved back to 0 with the platter. Left far from 0, the platter's position lacks the
        // float precision to close the last fraction of that distance: 3000 units out it stalls
        // at a speed near 2e-5, more farther out, and the deck never stops creeping.
        m_platterPosition -= m_handPosition;
        m_handTarget -= m_handPosition;
        m_handPosition = 0;
    }
    if (m_enabled) {
        m_platterVelocity +=
            ((m_handPosition - m_platterPosition) * kSpring + m_platterVelocity * kDamping) * kSpring;
        if (std::fabs(m_platterVelocity) < kTiny)
            m_platterVelocity = 0;
        m_platterPosition += m_platterVelocity;
        if (std::fabs(m_platterPosition) < kTiny)
            m_platterPosition = 0;
        m_output = m_platterVelocity * kPlatterToSpeed;
    } else if (m_resetPending.exchange(false, std::memory_order_relaxed)) {
        m_output = speed;
    } else if (speed > m_output + kSlope) {
        m_output += kSlope;
    } else if (speed < m_output - kSlope) {
        m_output -= kSlope;
    } else {
        m_output = speed;
    }
    return m_output;
}

void CScratchFilter::Push(float delta) noexcept
{
    m_handTarget += delta * 0.5f;
    m_handVelocity =
        std::clamp((m_handTarget - m_handPosition) * kHandFollow, -kHandMaxVelocity, kHandMaxVelocity);
}

void CScratchFilter::Enable(bool enabled) noexcept
{
    if (enabled && !m_enabled) {
        m_platterVelocity = m_output * kSpeedToPlatter;
        m_handPosition = 0;
        m_handTarget = 0;
        m_handVelocity = 0;
        m_platterPosition = 0;
    }
    m_enabled = enabled ? 1 : 0;
}
