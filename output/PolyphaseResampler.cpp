#include "PolyphaseResampler.h"

#include "AudioThread.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace {

// Zeroth-order modified Bessel function of the first kind, by its power series; 30 terms
// reach double precision for the arguments a beta of 10 gives.
double BesselI0(double x)
{
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 30; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

double Sinc(double x)
{
    if (std::fabs(x) < 1e-12)
        return 1.0;
    return std::sin(M_PI * x) / (M_PI * x);
}

float ToFloat(int16_t sample) noexcept
{
    return static_cast<float>(sample) * (1.0f / 32768.0f);
}

float ToFloat(float sample) noexcept
{
    return sample;
}

} // namespace

bool CPolyphaseResampler::Configure(uint32_t inputRateHz, uint32_t outputRateHz, uint32_t maxInputFrames)
{
    AssertNotAudioThread("CPolyphaseResampler::Configure");
    if (inputRateHz < kMinRateHz || inputRateHz > kMaxRateHz || outputRateHz < kMinRateHz ||
        outputRateHz > kMaxRateHz)
        return false;
    const uint32_t divisor = std::gcd(inputRateHz, outputRateHz);
    m_step = inputRateHz / divisor;
    m_sub = outputRateHz / divisor;
    m_phases = m_sub <= kMaxExactPhases ? m_sub : kInterpolatedPhases;
    // Downsampling lowers the cutoff below the output's Nyquist frequency and widens the kernel
    // in proportion, so the transition band keeps its width in output terms.
    const double scale = std::min(1.0, static_cast<double>(outputRateHz) / inputRateHz);
    // A multiple of four for the partial sums of Produce.
    m_taps = static_cast<uint32_t>(std::ceil(kTaps / scale / 4.0)) * 4;
    const double cutoff = 0.5 * kCutoff * scale; // cycles per input sample
    const double half = m_taps / 2.0;
    m_table.assign(static_cast<size_t>(m_phases + 1) * m_taps, 0.0f);
    std::vector<double> row(m_taps);
    for (uint32_t phase = 0; phase <= m_phases; ++phase) {
        const double fraction = static_cast<double>(phase) / m_phases;
        double sum = 0.0;
        for (uint32_t k = 0; k < m_taps; ++k) {
            const double u = fraction + half - 1.0 - k; // input samples from the output's time
            const double x = u / half;
            const double window = std::fabs(x) >= 1.0 ? 0.0 : BesselI0(kKaiserBeta * std::sqrt(1.0 - x * x));
            row[k] = 2.0 * cutoff * Sinc(2.0 * cutoff * u) * window;
            sum += row[k];
        }
        // Every phase passes DC at unity, so a constant does not pick up a ripple at the
        // phase pattern's rate.
        for (uint32_t k = 0; k < m_taps; ++k)
            m_table[static_cast<size_t>(phase) * m_taps + k] = static_cast<float>(row[k] / sum);
    }
    m_history.assign(static_cast<size_t>(m_taps) + 2 * static_cast<size_t>(maxInputFrames) + 4, 0.0f);
    Reset();
    return true;
}

void CPolyphaseResampler::Reset() noexcept
{
    std::fill(m_history.begin(), m_history.end(), 0.0f);
    m_index = m_taps / 2 - 1;
    m_fill = m_taps / 2 - 1;
    m_subPosition = 0;
}

template <class Sample>
bool CPolyphaseResampler::Append(const Sample* input, uint32_t stride, uint32_t inputs) noexcept
{
    const uint32_t room = static_cast<uint32_t>(m_history.size()) - m_fill;
    const uint32_t taken = std::min(room, inputs);
    float* out = m_history.data() + m_fill;
    for (uint32_t i = 0; i < taken; ++i)
        out[i] = ToFloat(input[static_cast<size_t>(i) * stride]);
    m_fill += taken;
    return taken == inputs;
}

uint32_t CPolyphaseResampler::Process(const int16_t* input, uint32_t stride, uint32_t inputs, float* output,
                                      uint32_t capacity) noexcept
{
    Append(input, stride, inputs);
    return Produce(output, capacity);
}

uint32_t CPolyphaseResampler::Process(const float* input, uint32_t stride, uint32_t inputs, float* output,
                                      uint32_t capacity) noexcept
{
    Append(input, stride, inputs);
    return Produce(output, capacity);
}

uint32_t CPolyphaseResampler::Produce(float* output, uint32_t capacity) noexcept
{
    if (m_table.empty())
        return 0;
    const uint32_t half = m_taps / 2;
    const bool exact = m_phases == m_sub;
    uint32_t produced = 0;
    while (produced < capacity && m_index + half < m_fill) {
        const float* x = m_history.data() + (m_index + 1 - half);
        uint32_t row = m_subPosition;
        float fraction = 0.0f;
        if (!exact) {
            const uint64_t scaled = static_cast<uint64_t>(m_subPosition) * m_phases;
            row = static_cast<uint32_t>(scaled / m_sub);
            fraction = static_cast<float>(scaled % m_sub) / static_cast<float>(m_sub);
        }
        const float* h = m_table.data() + static_cast<size_t>(row) * m_taps;
        // Four partial sums let the compiler keep the loop in vector registers.
        float sums[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        if (fraction == 0.0f) {
            for (uint32_t k = 0; k < m_taps; k += 4) {
                for (uint32_t j = 0; j < 4; ++j)
                    sums[j] += x[k + j] * h[k + j];
            }
        } else {
            const float* next = h + m_taps;
            for (uint32_t k = 0; k < m_taps; k += 4) {
                for (uint32_t j = 0; j < 4; ++j)
                    sums[j] += x[k + j] * (h[k + j] + fraction * (next[k + j] - h[k + j]));
            }
        }
        output[produced++] = (sums[0] + sums[1]) + (sums[2] + sums[3]);
        m_subPosition += m_step;
        m_index += m_subPosition / m_sub;
        m_subPosition %= m_sub;
    }
    // Keeps the taps the next output reaches back to and moves them to the front.
    const uint32_t keepFrom = std::min(m_index + 1 - half, m_fill);
    if (keepFrom > 0) {
        std::memmove(m_history.data(), m_history.data() + keepFrom, (m_fill - keepFrom) * sizeof(float));
        m_fill -= keepFrom;
        m_index -= keepFrom;
    }
    return produced;
}
