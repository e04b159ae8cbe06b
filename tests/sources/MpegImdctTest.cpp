#include "MpegImdct.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

using std::numbers::pi;

// ISO/IEC 11172-3 clause 2.4.3.4.10.2-3 as written: x_i = sum_k X_k cos(pi / 2n (2i + 1 + n/2)
// (2k + 1)), i = 0..n-1, then the block type's window.
double Window(int blockType, int i)
{
    switch (blockType) {
    case 1:
        return i < 18 ? std::sin(pi / 36 * (i + 0.5))
                      : (i < 24 ? 1.0 : (i < 30 ? std::sin(pi / 12 * (i - 18 + 0.5)) : 0.0));
    case 3:
        return i < 6 ? 0.0
                     : (i < 12 ? std::sin(pi / 12 * (i - 6 + 0.5))
                               : (i < 18 ? 1.0 : std::sin(pi / 36 * (i + 0.5))));
    default:
        return std::sin(pi / 36 * (i + 0.5));
    }
}

std::array<double, 36> DirectLong(const float* in, int blockType)
{
    std::array<double, 36> z{};
    for (int i = 0; i < 36; ++i) {
        double sum = 0.0;
        for (int k = 0; k < 18; ++k)
            sum += in[k] * std::cos(pi / 72 * (2 * i + 1 + 18) * (2 * k + 1));
        z[i] = sum * Window(blockType, i);
    }
    return z;
}

// Three 12-point transforms, windowed and overlapped at 6, 12 and 18 of the 36-sample block.
std::array<double, 36> DirectShort(const float* in)
{
    std::array<double, 36> z{};
    for (int w = 0; w < 3; ++w) {
        for (int i = 0; i < 12; ++i) {
            double sum = 0.0;
            for (int k = 0; k < 6; ++k)
                sum += in[w * 6 + k] * std::cos(pi / 24 * (2 * i + 1 + 6) * (2 * k + 1));
            z[6 + 6 * w + i] += sum * std::sin(pi / 12 * (i + 0.5));
        }
    }
    return z;
}

std::vector<float> Noise(int count, uint32_t seed)
{
    std::vector<float> values(count);
    for (float& v : values) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<float>(static_cast<int32_t>(seed) / 2147483648.0);
    }
    return values;
}

constexpr float kTolerance = 2e-6f; // float arithmetic over 18 terms of magnitude <= 1

// Two consecutive blocks of each type: the output is the first half of the block plus the
// second half of the one before.
TEST(MpegImdct, LongBlocksMatchTheDirectTransformWithOverlapAdd)
{
    for (const int blockType : {0, 1, 3}) {
        const std::vector<float> first = Noise(18, 1 + blockType);
        const std::vector<float> second = Noise(18, 11 + blockType);
        std::array<float, 18> overlap{};
        std::array<float, 18 * 4> out{};
        CMpegImdct::Long(first.data(), blockType, overlap.data(), out.data(), 4);
        const auto a = DirectLong(first.data(), blockType);
        for (int i = 0; i < 18; ++i)
            EXPECT_NEAR(out[i * 4], a[i], kTolerance) << "type " << blockType << " sample " << i;
        CMpegImdct::Long(second.data(), blockType, overlap.data(), out.data(), 4);
        const auto b = DirectLong(second.data(), blockType);
        for (int i = 0; i < 18; ++i)
            EXPECT_NEAR(out[i * 4], b[i] + a[18 + i], kTolerance) << "type " << blockType << " sample " << i;
        for (int i = 0; i < 18; ++i)
            EXPECT_NEAR(overlap[i], b[18 + i], kTolerance) << "type " << blockType << " overlap " << i;
    }
}

TEST(MpegImdct, ShortBlocksMatchThreeDirectTransformsAfterALongOne)
{
    const std::vector<float> first = Noise(18, 5);
    const std::vector<float> second = Noise(18, 6);
    std::array<float, 18> overlap{};
    std::array<float, 18> out{};
    CMpegImdct::Long(first.data(), 1, overlap.data(), out.data(), 1); // a start block precedes
    CMpegImdct::Short(second.data(), overlap.data(), out.data(), 1);
    const auto a = DirectLong(first.data(), 1);
    const auto b = DirectShort(second.data());
    for (int i = 0; i < 18; ++i) {
        EXPECT_NEAR(out[i], b[i] + a[18 + i], kTolerance) << i;
        EXPECT_NEAR(overlap[i], b[18 + i], kTolerance) << i;
    }
    // The short window is zero over the block's first six samples: only the overlap is heard.
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(out[i], a[18 + i], kTolerance) << i;
}

TEST(MpegImdct, ASilentSubbandPlaysOutTheOverlapAndLeavesNone)
{
    std::array<float, 18> overlap{};
    for (int i = 0; i < 18; ++i)
        overlap[i] = static_cast<float>(i + 1);
    std::array<float, 36> out{};
    CMpegImdct::Silent(overlap.data(), out.data(), 2);
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(out[i * 2], static_cast<float>(i + 1));
        EXPECT_EQ(overlap[i], 0.0f);
    }
    // Same as transforming 18 zero lines.
    const std::array<float, 18> zeros{};
    overlap.fill(0.5f);
    CMpegImdct::Long(zeros.data(), 0, overlap.data(), out.data(), 1);
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(out[i], 0.5f);
        EXPECT_EQ(overlap[i], 0.0f);
    }
}

} // namespace
