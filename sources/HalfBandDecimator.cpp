#include "HalfBandDecimator.h"

#include <cmath>
#include <cstddef>
#include <numbers>

namespace {

constexpr double kKaiserBeta = 10.0;

// The modified Bessel function of the first kind, order 0, by its power series; the terms fall
// below double precision within 40 steps for the beta used here.
double BesselI0(double x)
{
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 60 && term > 1e-18 * sum; ++k) {
        const double half = x / (2.0 * k);
        term *= half * half;
        sum += term;
    }
    return sum;
}

std::array<float, (CHalfBandDecimator::kReach + 1) / 2> BuildOddTaps()
{
    std::array<float, (CHalfBandDecimator::kReach + 1) / 2> taps{};
    std::array<double, taps.size()> exact{};
    double sum = 0.0;
    for (size_t i = 0; i < taps.size(); ++i) {
        const double offset = 2.0 * static_cast<double>(i) + 1.0;
        // The ideal half-band response sin(pi m / 2) / (pi m): zero at even offsets.
        const double ideal = std::sin(std::numbers::pi * offset / 2.0) / (std::numbers::pi * offset);
        const double ratio = offset / CHalfBandDecimator::kReach;
        const double window = BesselI0(kKaiserBeta * std::sqrt(1.0 - ratio * ratio)) / BesselI0(kKaiserBeta);
        exact[i] = ideal * window;
        sum += exact[i];
    }
    // Scaled so that the odd taps on both sides add up to the centre's 0.5: unity gain at DC.
    for (size_t i = 0; i < taps.size(); ++i)
        taps[i] = static_cast<float>(exact[i] * 0.25 / sum);
    return taps;
}

} // namespace

const std::array<float, (CHalfBandDecimator::kReach + 1) / 2>& CHalfBandDecimator::OddTaps()
{
    static const auto taps = BuildOddTaps();
    return taps;
}

void CHalfBandDecimator::Decimate(const float* input, int outputCount, float* output) noexcept
{
    const auto& taps = OddTaps();
    for (int n = 0; n < outputCount; ++n) {
        const float* centre = input + 2 * n + kReach;
        float sum = 0.5f * centre[0];
        for (size_t i = 0; i < taps.size(); ++i) {
            const auto offset = static_cast<ptrdiff_t>(2 * i + 1);
            sum += taps[i] * (centre[-offset] + centre[offset]);
        }
        output[n] = sum;
    }
}
