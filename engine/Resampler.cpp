#include "Resampler.h"

#include <algorithm>
#include <array>
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

template <uint32_t Shift>
uint32_t CResampler::ProcessChunk(const int16_t* input, int16_t* output, uint32_t outputs) noexcept
{
    // The two samples already consumed stand in front of the new ones, so the position can move
    // by 0, 1 or 2 samples per point without a branch (the branches mispredict at odd speeds).
    std::array<int32_t, kChunkOutputs * 4 + 4> stream;
    const uint32_t needed = Needed(outputs);
    stream[0] = m_previous;
    stream[1] = m_current;
    for (uint32_t i = 0; i < needed; ++i)
        stream[i + 2] = input[i];
    uint32_t position = 1; // index of the current sample
    uint32_t fraction = m_fraction;
    for (uint32_t i = 0; i < outputs; ++i) {
        int32_t sum = 0;
        for (uint32_t k = 0; k < (1u << Shift); ++k) {
            fraction += m_subStep;
            position += fraction >> 16;
            fraction &= 0xFFFF;
            const int32_t point = static_cast<int32_t>(fraction) * stream[position] +
                                  static_cast<int32_t>(0x10000 - fraction) * stream[position - 1];
            sum += point >> (16 + Shift);
        }
        output[i] = static_cast<int16_t>(sum);
    }
    m_fraction = fraction;
    m_current = stream[position];
    m_previous = stream[position - 1];
    return position - 1;
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
    if (m_shift == 0 && m_subStep == kUnityStep && m_fraction == 0 && outputs > 0) {
        // The track's own speed: every output is the sample before, so this is a copy.
        output[0] = static_cast<int16_t>(m_current);
        std::memcpy(output + 1, input, (outputs - 1) * sizeof(int16_t));
        m_previous = outputs > 1 ? input[outputs - 2] : m_current;
        m_current = input[outputs - 1];
        return outputs;
    }
    // In chunks small enough for the stream copy below (at most 4 inputs per output here).
    for (uint32_t done = 0; done < outputs;) {
        const uint32_t chunk = std::min<uint32_t>(outputs - done, kChunkOutputs);
        switch (m_shift) {
        case 0:
            used += ProcessChunk<0>(input + used, output + done, chunk);
            break;
        case 1:
            used += ProcessChunk<1>(input + used, output + done, chunk);
            break;
        default:
            used += ProcessChunk<2>(input + used, output + done, chunk);
            break;
        }
        done += chunk;
    }
    return used;
}
