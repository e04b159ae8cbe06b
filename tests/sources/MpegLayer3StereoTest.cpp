#include "MpegLayer3Stereo.h"
#include "MpegLayer3Tables.h"

#include <gtest/gtest.h>

#include <array>

namespace {

constexpr float kTolerance = 1e-6f;

struct Lines {
    std::array<float, 576> left{};
    std::array<float, 576> right{};
};

// 44.1 kHz MPEG-1 bands; every long band of the right channel set to one intensity position.
ScaleFactors Positions(int position, int illegal)
{
    ScaleFactors sf;
    sf.longs.fill(static_cast<uint8_t>(position));
    for (auto& band : sf.shorts)
        band.fill(static_cast<uint8_t>(position));
    sf.longIllegal.fill(static_cast<uint8_t>(illegal));
    sf.shortIllegal.fill(static_cast<uint8_t>(illegal));
    return sf;
}

CMpegLayer3Stereo::Granule IntensityGranule(bool mpeg1, bool midSide)
{
    CMpegLayer3Stereo::Granule g;
    g.intensity = true;
    g.midSide = midSide;
    g.mpeg1 = mpeg1;
    return g;
}

// 11172-3: is_ratio = tan(is_pos pi / 12), L = X ratio / (1 + ratio), R = X / (1 + ratio).
// Worked out: tan 15 deg = 0.267949, tan 30 deg = 0.577350, tan 60 deg = 1.732051, tan 75 deg
// = 3.732051.
TEST(MpegLayer3Stereo, Mpeg1IntensityPositionsSplitTheSumByTheTangentRatio)
{
    constexpr float kExpected[7][2] = {{0.0f, 1.0f}, {0.211325f, 0.788675f}, {0.366025f, 0.633975f},
                                       {0.5f, 0.5f}, {0.633975f, 0.366025f}, {0.788675f, 0.211325f},
                                       {1.0f, 0.0f}};
    const ScaleFactorBands& bands = CMpegLayer3Tables::Bands(1, 0);
    for (int position = 0; position < 7; ++position) {
        Lines lines;
        lines.left.fill(2.0f); // the sum signal; the right channel is zero everywhere
        CMpegLayer3Stereo::Process(lines.left.data(), lines.right.data(), IntensityGranule(true, false),
                                   bands, Positions(position, 7));
        for (const int i : {0, 100, 575}) {
            EXPECT_NEAR(lines.left[i], 2.0f * kExpected[position][0], kTolerance) << position;
            EXPECT_NEAR(lines.right[i], 2.0f * kExpected[position][1], kTolerance) << position;
        }
    }
}

// 13818-3: i0 = 2^-1/4 (intensity_scale 0) or 2^-1/2 (1); position 0 keeps both at 1, odd
// positions scale left by i0^((p + 1) / 2), even ones right by i0^(p / 2).
TEST(MpegLayer3Stereo, Mpeg2IntensityPositionsScaleOneChannelByPowersOfI0)
{
    struct Case {
        int scale;
        int position;
        float left;
        float right;
    };
    constexpr Case kCases[] = {
        {0, 0, 1.0f, 1.0f},      {0, 1, 0.840896f, 1.0f}, {0, 2, 1.0f, 0.840896f},
        {0, 3, 0.707107f, 1.0f}, {0, 4, 1.0f, 0.707107f}, {1, 1, 0.707107f, 1.0f},
        {1, 2, 1.0f, 0.707107f}, {1, 3, 0.5f, 1.0f},      {1, 6, 1.0f, 0.353553f},
    };
    const ScaleFactorBands& bands = CMpegLayer3Tables::Bands(0, 0);
    for (const Case& c : kCases) {
        Lines lines;
        lines.left.fill(1.0f);
        CMpegLayer3Stereo::Granule g = IntensityGranule(false, false);
        g.intensityScale = c.scale;
        CMpegLayer3Stereo::Process(lines.left.data(), lines.right.data(), g, bands,
                                   Positions(c.position, 15));
        EXPECT_NEAR(lines.left[300], c.left, kTolerance) << c.scale << "/" << c.position;
        EXPECT_NEAR(lines.right[300], c.right, kTolerance) << c.scale << "/" << c.position;
    }
}

// Below the right channel's highest non-zero band M/S applies; above it intensity; a band with
// the illegal position falls back to M/S.
TEST(MpegLayer3Stereo, IntensityStartsAboveTheRightChannelsLastNonZeroBand)
{
    const ScaleFactorBands& bands = CMpegLayer3Tables::Bands(1, 0); // band 10 = lines 52..61
    for (const bool mpeg1 : {true, false}) {
        Lines lines;
        lines.left.fill(1.0f);
        lines.right[55] = 1.0f; // in band 10 (MPEG-1) / band 8 (MPEG-2: lines 54..65)
        ScaleFactors sf = Positions(mpeg1 ? 3 : 0, mpeg1 ? 7 : 15);
        sf.longs[15] = mpeg1 ? 7 : 15; // illegal
        const ScaleFactorBands& use = mpeg1 ? bands : CMpegLayer3Tables::Bands(0, 0);
        CMpegLayer3Stereo::Process(lines.left.data(), lines.right.data(), IntensityGranule(mpeg1, true), use,
                                   sf);
        // M/S below: (1 + 0) / sqrt 2 in both, and (1 + 1) / sqrt 2, 0 at the right's line.
        EXPECT_NEAR(lines.left[0], 0.707107f, kTolerance);
        EXPECT_NEAR(lines.right[0], 0.707107f, kTolerance);
        EXPECT_NEAR(lines.left[55], 1.414214f, kTolerance);
        EXPECT_NEAR(lines.right[55], 0.0f, kTolerance);
        // Intensity above: MPEG-1 position 3 halves, MPEG-2 position 0 copies.
        const int above = use.longBounds[mpeg1 ? 11 : 9];
        EXPECT_NEAR(lines.left[above], mpeg1 ? 0.5f : 1.0f, kTolerance);
        EXPECT_NEAR(lines.right[above], mpeg1 ? 0.5f : 1.0f, kTolerance);
        const int illegalBand = use.longBounds[15];
        EXPECT_NEAR(lines.left[illegalBand], 0.707107f, kTolerance) << "illegal position: M/S";
        EXPECT_NEAR(lines.right[illegalBand], 0.707107f, kTolerance);
        // The last band (no scale factor of its own) follows the band below it.
        EXPECT_NEAR(lines.left[575], mpeg1 ? 0.5f : 1.0f, kTolerance);
    }
}

// The last long band takes band 20's position only when band 20 is intensity coded itself:
// with the right channel's last line in band 20, band 21 is M/S decoded, at both versions.
TEST(MpegLayer3Stereo, LastLongBandAloneAboveTheRightChannelIsNotIntensityCoded)
{
    for (const bool mpeg1 : {true, false}) {
        const ScaleFactorBands& bands = CMpegLayer3Tables::Bands(mpeg1 ? 1 : 0, 0);
        Lines lines;
        lines.left.fill(1.0f);
        lines.right[bands.longBounds[20]] = 1.0f;
        CMpegLayer3Stereo::Process(lines.left.data(), lines.right.data(), IntensityGranule(mpeg1, true), bands,
                                   Positions(mpeg1 ? 3 : 1, mpeg1 ? 7 : 15));
        EXPECT_NEAR(lines.left[575], 0.707107f, kTolerance) << mpeg1;
        EXPECT_NEAR(lines.right[575], 0.707107f, kTolerance) << mpeg1;
    }
}

// Short blocks: each window finds its own boundary. Window 0 has right-channel data in band 5;
// window 1 none at all, so intensity covers its every band.
TEST(MpegLayer3Stereo, ShortBlocksFindTheIntensityBoundaryPerWindow)
{
    const ScaleFactorBands& bands = CMpegLayer3Tables::Bands(1, 0);
    const auto& s = bands.shortBounds;
    auto line = [&](int band, int window, int k) {
        return 3 * s[band] + window * (s[band + 1] - s[band]) + k;
    };
    Lines lines;
    lines.left.fill(1.0f);
    lines.right[line(5, 0, 1)] = 1.0f;
    CMpegLayer3Stereo::Granule g = IntensityGranule(true, false);
    g.blockType = 2;
    CMpegLayer3Stereo::Process(lines.left.data(), lines.right.data(), g, bands, Positions(0, 7));
    // Position 0: everything to the right channel. Not intensity (no M/S): left as it was.
    EXPECT_EQ(lines.left[line(5, 0, 0)], 1.0f);
    EXPECT_EQ(lines.left[line(0, 0, 0)], 1.0f);
    EXPECT_EQ(lines.left[line(6, 0, 0)], 0.0f);
    EXPECT_EQ(lines.right[line(6, 0, 0)], 1.0f);
    for (int band = 0; band < 13; ++band) {
        EXPECT_EQ(lines.left[line(band, 1, 0)], 0.0f) << band;
        EXPECT_EQ(lines.right[line(band, 1, 0)], 1.0f) << band;
    }
}

TEST(MpegLayer3Stereo, MidSideAloneRotatesEveryLineItIsGiven)
{
    Lines lines;
    lines.left.fill(3.0f);
    lines.right.fill(1.0f);
    CMpegLayer3Stereo::Granule g;
    g.midSide = true;
    g.lines = 100;
    CMpegLayer3Stereo::Process(lines.left.data(), lines.right.data(), g, CMpegLayer3Tables::Bands(1, 0),
                               ScaleFactors{});
    EXPECT_NEAR(lines.left[99], 4.0f * 0.707107f, 4 * kTolerance);
    EXPECT_NEAR(lines.right[99], 2.0f * 0.707107f, 4 * kTolerance);
    EXPECT_EQ(lines.left[100], 3.0f) << "beyond the non-zero lines nothing is touched";
}

} // namespace
