#include "Resampler.h"

#include <cstring>

void CResampler::SetStep(uint32_t step) noexcept
{
    m_step = step;
    m_subStep = step;
    m_shift = 0;
    if (m_interpolate && step > kUnityStep) {
        // Halve until the value before halving is below 2.0 (plus a hair, so that 2.0 itself
        // averages two points of 1.0 each).
        uint32_t value = step;
        uint32_t before = 0;
        do {
            before = value;
            value >>= 1;
            ++m_shift;
        } while (before >= 0x20002);
        m_subStep = value;
        m_step = step & ~((1u << m_shift) - 1u);
    }
}

uint32_t CResampler::Needed(uint32_t outputs) const noexcept
{
    return static_cast<uint32_t>((m_fraction + static_cast<uint64_t>(m_step) * outputs) >> 16);
}

void CResampler::Reset() noexcept
{
    m_fraction = 0;
    m_current = 0;
    m_previous = 0;
}

uint32_t CResampler::Advance(const int16_t* input, uint32_t step) noexcept
{
    m_fraction += step;
    const uint32_t count = m_fraction >> 16;
    m_fraction &= 0xFFFF;
    if (count == 1) {
        m_previous = m_current;
        m_current = input[0];
    } else if (count > 1) {
        m_previous = input[count - 2];
        m_current = input[count - 1];
    }
    return count;
}

int32_t CResampler::Interpolated() const noexcept
{
    return static_cast<int32_t>(m_fraction) * m_current +
           static_cast<int32_t>(0x10000 - m_fraction) * m_previous;
}

uint32_t CResampler::Process(const int16_t* input, int16_t* output, uint32_t outputs) noexcept
{
    uint32_t used = 0;
    if (!m_interpolate || m_shift >= 3) {
        for (uint32_t i = 0; i < outputs; ++i) {
            used += Advance(input + used, m_step);
            output[i] = static_cast<int16_t>(m_current);
        }
        return used;
    }
    switch (m_shift) {
    case 0:
        if (m_subStep == kUnityStep && m_fraction == 0 && outputs > 0) {
            // The track's own speed: every output is the sample before, so this is a copy.
            output[0] = static_cast<int16_t>(m_current);
            std::memcpy(output + 1, input, (outputs - 1) * sizeof(int16_t));
            m_previous = outputs > 1 ? input[outputs - 2] : m_current;
            m_current = input[outputs - 1];
            return outputs;
        }
        // At most one new sample per output up to speed 1.0.
        for (uint32_t i = 0; i < outputs; ++i) {
            m_fraction += m_subStep;
            if (m_fraction > 0xFFFF) {
                m_fraction &= 0xFFFF;
                m_previous = m_current;
                m_current = input[used++];
            }
            output[i] = static_cast<int16_t>(Interpolated() >> 16);
        }
        break;
    case 1:
        for (uint32_t i = 0; i < outputs; ++i) {
            used += Advance(input + used, m_subStep);
            int32_t sum = Interpolated() >> 17;
            used += Advance(input + used, m_subStep);
            sum += Interpolated() >> 17;
            output[i] = static_cast<int16_t>(sum);
        }
        break;
    default:
        for (uint32_t i = 0; i < outputs; ++i) {
            int32_t sum = 0;
            for (int k = 0; k < 4; ++k) {
                used += Advance(input + used, m_subStep);
                sum += Interpolated() >> 18;
            }
            output[i] = static_cast<int16_t>(sum);
        }
        break;
    }
    return used;
}
