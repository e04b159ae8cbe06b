#include "MpegSynthesis.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace {

// The filter bank as ISO/IEC 11172-3 figure A.2 draws it, in double: shift V by 64, matrix with
// N[i][k] = cos((16 + i)(2k + 1) pi / 64), build U from V, window with D, sum 16 taps.
class CPlainSynthesis {
public:
    void Synthesize(const float* subbands, double* pcm)
    {
        for (int i = 1023; i >= 64; --i)
            m_v[i] = m_v[i - 64];
        for (int i = 0; i < 64; ++i) {
            double sum = 0.0;
            for (int k = 0; k < 32; ++k)
                sum += std::cos((16 + i) * (2 * k + 1) * M_PI / 64.0) * subbands[k];
            m_v[i] = sum;
        }
        double u[512];
        for (int i = 0; i < 8; ++i) {
            for (int j = 0; j < 32; ++j) {
                u[i * 64 + j] = m_v[i * 128 + j];
                u[i * 64 + 32 + j] = m_v[i * 128 + 96 + j];
            }
        }
        for (int j = 0; j < 32; ++j) {
            double sum = 0.0;
            for (int i = 0; i < 16; ++i)
                sum += u[j + 32 * i] * CMpegSynthesis::WindowCoefficient(j + 32 * i);
            pcm[j] = sum;
        }
    }

private:
    std::array<double, 1024> m_v{};
};

TEST(MpegSynthesis, MatchesThePlainFilterBankOnRandomAndTonalInput)
{
    CMpegSynthesis fast;
    CPlainSynthesis plain;
    std::mt19937 random(3);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    double worst = 0.0;
    for (int slot = 0; slot < 400; ++slot) {
        float subbands[32];
        for (int k = 0; k < 32; ++k) {
            // Random slots, then a tone in one band, then a full-scale step in every band.
            if (slot < 150)
                subbands[k] = value(random);
            else if (slot < 300)
                subbands[k] = k == 5 ? std::sin(0.3f * slot) : 0.0f;
            else
                subbands[k] = (slot / 7) % 2 ? 1.0f : -1.0f;
        }
        float pcm[32];
        double expected[32];
        fast.Synthesize(subbands, pcm);
        plain.Synthesize(subbands, expected);
        for (int j = 0; j < 32; ++j) {
            const double error = std::fabs(pcm[j] - expected[j]);
            worst = std::max(worst, error);
            // Full-scale values in all 32 bands drive the output to about +-10; float sums of
            // that size carry errors near 2^-19.
            ASSERT_LT(error, 5e-6) << "slot " << slot << " sample " << j;
        }
    }
    RecordProperty("worst_error", std::to_string(worst));
}

TEST(MpegSynthesis, ResetForgetsTheHistory)
{
    CMpegSynthesis used;
    CMpegSynthesis fresh;
    float loud[32];
    for (int k = 0; k < 32; ++k)
        loud[k] = 0.9f * ((k % 3) - 1);
    float pcm[32];
    for (int slot = 0; slot < 20; ++slot)
        used.Synthesize(loud, pcm);
    used.Reset();

    float quiet[32] = {};
    quiet[2] = 0.25f;
    for (int slot = 0; slot < 20; ++slot) {
        float a[32];
        float b[32];
        used.Synthesize(quiet, a);
        fresh.Synthesize(quiet, b);
        for (int j = 0; j < 32; ++j)
            ASSERT_EQ(a[j], b[j]) << "slot " << slot << " sample " << j;
    }
}

TEST(MpegSynthesis, WindowHasTheStandardsShape)
{
    // The window peaks at its centre with 1.144989014 and is odd about it except at multiples
    // of 64; outside 0..511 there is none.
    EXPECT_NEAR(CMpegSynthesis::WindowCoefficient(256), 1.144989014, 1e-9);
    EXPECT_NEAR(CMpegSynthesis::WindowCoefficient(1), -0.000015259, 1e-9);
    EXPECT_NEAR(CMpegSynthesis::WindowCoefficient(511), 0.000015259, 1e-9);
    for (int i = 1; i < 256; ++i) {
        const float mirrored = CMpegSynthesis::WindowCoefficient(512 - i);
        const float expected =
            i % 64 == 0 ? CMpegSynthesis::WindowCoefficient(i) : -CMpegSynthesis::WindowCoefficient(i);
        ASSERT_EQ(mirrored, expected) << i;
    }
    EXPECT_EQ(CMpegSynthesis::WindowCoefficient(-1), 0.0f);
    EXPECT_EQ(CMpegSynthesis::WindowCoefficient(512), 0.0f);
}

} // namespace
