#include "Resampler.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUANDEL_RESAMPLER_WIDE 1
#endif

bool CResampler::ProcessorHasWide() noexcept
{
#if defined(QUANDEL_RESAMPLER_WIDE)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
#else
    return false;
#endif
}

std::atomic<bool> CResampler::s_wide{CResampler::ProcessorHasWide()};

bool CResampler::UseWide(bool wide) noexcept
{
    s_wide.store(wide && ProcessorHasWide(), std::memory_order_relaxed);
    return Wide();
}

#if defined(QUANDEL_RESAMPLER_WIDE)
template <uint32_t Shift>
__attribute__((target("avx2"))) uint32_t CResampler::WideOutputs(const int16_t* stream, int16_t* output,
                                                                 uint32_t outputs) const noexcept
{
    // Point j of the chunk (from 0) lies at m_fraction + (j + 1) x sub-step past the sample
    // before the current one: its position and fraction need no running sum. A chunk holds at
    // most 512 points of a sub-step below 2.0, so the sum stays far inside 32 bits. One 32-bit
    // gather at the sample before a point brings both samples it lies between.
    const __m256i subStep = _mm256_set1_epi32(static_cast<int32_t>(m_subStep));
    const __m256i start = _mm256_set1_epi32(static_cast<int32_t>(m_fraction));
    const __m256i lowMask = _mm256_set1_epi32(0xFFFF);
    const __m256i one = _mm256_set1_epi32(0x10000);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const auto* pairs = reinterpret_cast<const int*>(stream);
    const uint32_t wide = outputs & ~7u;
    for (uint32_t i = 0; i < wide; i += 8) {
        // Output i + lane takes points ((i + lane) << Shift) + k for k below 2^Shift.
        const __m256i first = _mm256_slli_epi32(
            _mm256_add_epi32(lanes, _mm256_set1_epi32(static_cast<int32_t>(i))), static_cast<int>(Shift));
        __m256i sum = _mm256_setzero_si256();
        for (uint32_t k = 0; k < (1u << Shift); ++k) {
            const __m256i index = _mm256_add_epi32(first, _mm256_set1_epi32(static_cast<int32_t>(k + 1)));
            const __m256i at = _mm256_add_epi32(start, _mm256_mullo_epi32(index, subStep));
            // The sample before the point: stream index (at >> 16), two bytes each.
            const __m256i both = _mm256_i32gather_epi32(pairs, _mm256_srli_epi32(at, 16), 2);
            const __m256i before = _mm256_srai_epi32(_mm256_slli_epi32(both, 16), 16);
            const __m256i now = _mm256_srai_epi32(both, 16);
            const __m256i fraction = _mm256_and_si256(at, lowMask);
            const __m256i point =
                _mm256_add_epi32(_mm256_mullo_epi32(fraction, now),
                                 _mm256_mullo_epi32(_mm256_sub_epi32(one, fraction), before));
            sum = _mm256_add_epi32(sum, _mm256_srai_epi32(point, static_cast<int>(16 + Shift)));
        }
        // Every sum lies within 16 bits (an average of interpolations between 16-bit samples),
        // so packing with saturation keeps the low 16 bits the plain loop keeps.
        const __m128i packed = _mm_packs_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(output + i), packed);
    }
    return wide;
}
#endif

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
    std::array<int16_t, kChunkOutputs * 4 + 4> stream;
    const uint32_t needed = Needed(outputs);
    stream[0] = static_cast<int16_t>(m_previous);
    stream[1] = static_cast<int16_t>(m_current);
    std::memcpy(stream.data() + 2, input, needed * sizeof(int16_t));
    uint32_t position = 1; // index of the current sample
    uint32_t fraction = m_fraction;
    uint32_t i = 0;
#if defined(QUANDEL_RESAMPLER_WIDE)
    if (Wide()) {
        i = WideOutputs<Shift>(stream.data(), output, outputs);
        const uint32_t at = m_fraction + (i << Shift) * m_subStep;
        position += at >> 16;
        fraction = at & 0xFFFF;
    }
#endif
    for (; i < outputs; ++i) {
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
    if (m_step == 0) {
        // A stopped deck: every output is the point it stopped at.
        std::fill(output, output + outputs, static_cast<int16_t>(Interpolated() >> 16));
        return 0;
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
