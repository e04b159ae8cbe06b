#include "PolyphaseResampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct Measurement {
    double errorDb; // residual against the ideal output, re the ideal output's RMS
    double levelDb; // output RMS re the ideal output's RMS
};

// Resamples a sine of frequencyHz at amplitude 0.9 in blocks of 384 frames, as the driver
// feeds it, and compares every output after the start-up with the ideal sine at the output
// rate: output n is the input at time n x inputRate / outputRate, so timing errors count too.
Measurement ResampleSine(uint32_t inputRate, uint32_t outputRate, double frequencyHz)
{
    constexpr uint32_t kBlock = 384;
    constexpr double kAmplitude = 0.9;
    const uint32_t inputs = inputRate; // one second
    std::vector<float> input(inputs);
    for (uint32_t i = 0; i < inputs; ++i)
        input[i] = static_cast<float>(kAmplitude * std::sin(2.0 * M_PI * frequencyHz * i / inputRate));
    CPolyphaseResampler resampler;
    EXPECT_TRUE(resampler.Configure(inputRate, outputRate, kBlock));
    std::vector<float> output(static_cast<size_t>(outputRate) * 2);
    uint32_t produced = 0;
    for (uint32_t at = 0; at < inputs; at += kBlock) {
        produced +=
            resampler.Process(input.data() + at, 1, std::min(kBlock, inputs - at), output.data() + produced,
                              static_cast<uint32_t>(output.size()) - produced);
    }
    // Skips the outputs whose taps reach before the signal's start or past its end.
    const uint32_t skip = resampler.Taps() * outputRate / inputRate + 8;
    double error = 0.0;
    double ideal = 0.0;
    double level = 0.0;
    for (uint32_t n = skip; n + skip < produced; ++n) {
        const double expected = kAmplitude * std::sin(2.0 * M_PI * frequencyHz * n / outputRate);
        error += (output[n] - expected) * (output[n] - expected);
        ideal += expected * expected;
        level += static_cast<double>(output[n]) * output[n];
    }
    return {10.0 * std::log10(error / ideal), 10.0 * std::log10(level / ideal)};
}

} // namespace

TEST(PolyphaseResampler, TonesComeOutCleanAndOnTimeAtServerRates)
{
    struct Case {
        uint32_t outputRate;
        double frequencyHz;
        double maxErrorDb;
    };
    // 47999 Hz has no short ratio to 44100: its table interpolates between 1024 phases.
    for (const Case c :
         {Case{48000, 1000.0, -105.0}, Case{48000, 15000.0, -105.0}, Case{96000, 15000.0, -105.0},
          Case{88200, 1000.0, -105.0}, Case{47999, 1000.0, -105.0}, Case{47999, 15000.0, -105.0},
          Case{32000, 1000.0, -105.0}, Case{22050, 7000.0, -105.0}}) {
        const Measurement m = ResampleSine(44100, c.outputRate, c.frequencyHz);
        std::printf("44100 -> %u Hz, %.0f Hz tone: THD+N %.1f dB\n", c.outputRate, c.frequencyHz, m.errorDb);
        EXPECT_LT(m.errorDb, c.maxErrorDb) << c.outputRate << " Hz, " << c.frequencyHz << " Hz tone";
    }
}

TEST(PolyphaseResampler, ToneAboveTheOutputNyquistIsFilteredOutNotFolded)
{
    // A 20 kHz tone resampled to 32000 Hz would fold to 12 kHz; to 22050 Hz a 15 kHz tone
    // would fold to 7050 Hz.
    struct Case {
        uint32_t outputRate;
        double frequencyHz;
    };
    for (const Case c : {Case{32000, 20000.0}, Case{22050, 15000.0}}) {
        const Measurement m = ResampleSine(44100, c.outputRate, c.frequencyHz);
        std::printf("44100 -> %u Hz, %.0f Hz tone: folded level %.1f dB\n", c.outputRate, c.frequencyHz,
                    m.levelDb);
        EXPECT_LT(m.levelDb, -90.0) << c.outputRate;
    }
}

TEST(PolyphaseResampler, BlockSizesDoNotChangeTheOutput)
{
    std::vector<int16_t> input(20000);
    for (size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<int16_t>(12000 * std::sin(i * 0.05) + 5000 * std::sin(i * 0.9));
    auto run = [&](const std::vector<uint32_t>& blocks) {
        CPolyphaseResampler resampler;
        resampler.Configure(44100, 48000, 20000);
        std::vector<float> output(30000);
        uint32_t produced = 0;
        size_t at = 0;
        for (size_t b = 0; at < input.size(); ++b) {
            const uint32_t count = std::min<uint32_t>(blocks[b % blocks.size()], input.size() - at);
            produced += resampler.Process(input.data() + at, 1, count, output.data() + produced,
                                          static_cast<uint32_t>(output.size()) - produced);
            at += count;
        }
        output.resize(produced);
        return output;
    };
    const std::vector<float> whole = run({20000});
    const std::vector<float> pieces = run({128, 1, 2047, 384, 7});
    ASSERT_EQ(whole.size(), pieces.size());
    EXPECT_EQ(whole, pieces);
    // Every input before the last half-kernel has its outputs: 20000 x 48000 / 44100.
    EXPECT_NEAR(static_cast<double>(whole.size()), (20000 - 64) * 48000.0 / 44100, 2.0);
}
