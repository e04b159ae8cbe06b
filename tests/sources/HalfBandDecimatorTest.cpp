#include "HalfBandDecimator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr int kReach = CHalfBandDecimator::kReach;
// Tones on a grid of input frequency k / 8000 of the rate: 4000 outputs hold whole periods.
constexpr int kGrid = 8000;
constexpr int kOutputs = 4000;

// The gain for a tone at k / kGrid of the input rate, measured on the output: projection on the
// tone at its output frequency, which for k above kGrid / 4 is where it folds to.
double MeasuredGain(int k)
{
    const double cyclesPerInput = static_cast<double>(k) / kGrid;
    std::vector<float> input(static_cast<size_t>(CHalfBandDecimator::InputFrames(kOutputs)));
    for (size_t m = 0; m < input.size(); ++m) {
        const double frame = static_cast<double>(m) - kReach; // output n lines up with input 2n
        input[m] = static_cast<float>(std::cos(2.0 * std::numbers::pi * cyclesPerInput * frame + 0.3));
    }
    std::vector<float> output(kOutputs);
    CHalfBandDecimator::Decimate(input.data(), kOutputs, output.data());
    double cosine = 0.0;
    double sine = 0.0;
    for (int n = 0; n < kOutputs; ++n) {
        const double phase = 2.0 * std::numbers::pi * cyclesPerInput * 2.0 * n;
        cosine += output[static_cast<size_t>(n)] * std::cos(phase);
        sine += output[static_cast<size_t>(n)] * std::sin(phase);
    }
    return 2.0 * std::hypot(cosine, sine) / kOutputs;
}

TEST(HalfBandDecimator, PassbandIsFlatToWithinATenThousandthOfADecibel)
{
    double worstDb = 0.0;
    // 0.2268 of the input rate: 20 kHz at 88.2 kHz.
    for (int k = 1; k <= 1814; k += 3)
        worstDb = std::max(worstDb, std::abs(20.0 * std::log10(MeasuredGain(k))));
    std::printf("passband ripple up to 0.2268 fs: +-%.6f dB\n", worstDb);
    EXPECT_LT(worstDb, 0.0002);
}

TEST(HalfBandDecimator, StopbandIsAtLeastNinetyNineDecibelsDown)
{
    double worstDb = -400.0;
    // From 0.2732 of the input rate (24.1 kHz at 88.2 kHz) to its Nyquist frequency.
    for (int k = 2186; k < kGrid / 2; k += 3)
        worstDb = std::max(worstDb, 20.0 * std::log10(std::max(MeasuredGain(k), 1e-20)));
    std::printf("stopband from 0.2732 fs: %.1f dB\n", worstDb);
    EXPECT_LT(worstDb, -99.0);
}

TEST(HalfBandDecimator, DcPassesAtUnity)
{
    const std::vector<float> ones(static_cast<size_t>(CHalfBandDecimator::InputFrames(16)), 1.0f);
    std::vector<float> output(16);
    CHalfBandDecimator::Decimate(ones.data(), 16, output.data());
    for (const float value : output)
        EXPECT_NEAR(value, 1.0f, 1e-6f);
}

// The folded sum against the plain convolution with all 139 taps written out.
TEST(HalfBandDecimator, MatchesThePlainConvolution)
{
    std::vector<double> taps(CHalfBandDecimator::kTaps, 0.0);
    taps[kReach] = 0.5;
    const auto& odd = CHalfBandDecimator::OddTaps();
    for (size_t i = 0; i < odd.size(); ++i) {
        taps[kReach + 2 * i + 1] = odd[i];
        taps[kReach - 2 * i - 1] = odd[i];
    }
    std::mt19937 random(5);
    std::uniform_real_distribution<float> noise(-30000.0f, 30000.0f);
    const int outputs = 300;
    std::vector<float> input(static_cast<size_t>(CHalfBandDecimator::InputFrames(outputs)));
    for (float& sample : input)
        sample = noise(random);
    std::vector<float> output(outputs);
    CHalfBandDecimator::Decimate(input.data(), outputs, output.data());
    for (int n = 0; n < outputs; ++n) {
        double expected = 0.0;
        for (int k = 0; k < CHalfBandDecimator::kTaps; ++k)
            expected += taps[static_cast<size_t>(k)] * input[static_cast<size_t>(2 * n + k)];
        ASSERT_NEAR(output[static_cast<size_t>(n)], expected, 0.05) << "output " << n;
    }
}

} // namespace
