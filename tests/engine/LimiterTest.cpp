#include "Limiter.h"
#include "PlainLanes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

// The limiter written out one channel and one envelope at a time, as the plain arithmetic it
// stands for: every division taken, every envelope's excess over 1.0 kept (dropped where the
// mixer notes the rest, every 128 frames, once 1.0 plus each is 1.0).
class CReferenceLimiter {
public:
    void NoteRest()
    {
        bool rest = true;
        for (const auto& excess : m_excess)
            rest = rest && 1.0f + excess[0] == 1.0f && 1.0f + excess[1] == 1.0f;
        if (rest)
            m_excess = {};
    }

    std::array<float, 2> Process(std::array<float, 2> in)
    {
        std::array<float, 2> out{};
        for (int c = 0; c < 2; ++c) {
            const float high = in[c] - 2.0f * m_bandMid[c] - m_bandLow[c];
            const float mid = 2.0f * m_bandMid[c];
            const float low = m_bandLow[c];
            m_bandMid[c] = 0.07f * high;
            m_bandLow[c] = 0.0049f * high + 1e-12f;
            const float sum = Divide(high, m_excess[0][c], 0.99964061f) +
                              Divide(mid, m_excess[1][c], 0.99990973f) +
                              Divide(low, m_excess[2][c], 0.99997733f);
            out[c] = Divide(sum, m_excess[3][c], 0.99992829f);
        }
        return out;
    }

private:
    static float Divide(float part, float& excess, float release)
    {
        const float relaxed = excess * release;
        const float magnitude = std::fabs(part);
        excess = std::max(magnitude - 1.0f, relaxed);
        return part / std::max(magnitude, relaxed + 1.0f);
    }

    std::array<float, 2> m_bandMid{};
    std::array<float, 2> m_bandLow{1e-12f, 1e-12f};
    std::array<std::array<float, 2>, 4> m_excess{};
};

uint32_t Bits(float v)
{
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

} // namespace

// Quiet stretches long enough for every envelope to come back to exactly 1.0, where frames skip
// the divisions, between loud bursts that need them: the same bits as every division taken.
TEST(Limiter, FramesAtRestGiveTheSameBitsAsTheDivisions)
{
    CLimiter limiter;
    CReferenceLimiter reference;
    std::mt19937 random(17);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    constexpr int kFrames = 44100 * 60;
    int restingSegments = 0;
    int workingSegments = 0;
    float loudest = 0.0f;
    for (int frame = 0; frame < kFrames; ++frame) {
        if (frame % 128 == 0) {
            reference.NoteRest();
            const bool resting = limiter.NoteRest();
            restingSegments += resting ? 1 : 0;
            workingSegments += resting ? 0 : 1;
        }
        // Bursts at 2 and 35 s with full-scale steps in them, quiet music between.
        const double seconds = frame / 44100.0;
        const bool burst = (seconds > 2.0 && seconds < 3.0) || (seconds > 35.0 && seconds < 35.5);
        const float level = burst ? 2.5f : 0.15f;
        std::array<float, 2> in{level * noise(random), level * noise(random)};
        if (burst && frame % 5000 == 7)
            in = {1.0f, -1.0f};
        const std::array<float, 2> want = reference.Process(in);
        const CLimiter::Vec4 got = limiter.ProcessLanes(CLimiter::Vec4{in[0], in[1], 0.0f, 0.0f});
        ASSERT_EQ(Bits(got[0]), Bits(want[0])) << "frame " << frame;
        ASSERT_EQ(Bits(got[1]), Bits(want[1])) << "frame " << frame;
        ASSERT_EQ(Bits(got[2]), 0u);
        loudest = std::max({loudest, std::fabs(got[0]), std::fabs(got[1])});
    }
    EXPECT_LE(loudest, 1.0f);
    // Both ways were taken, and the rest came back after each burst.
    std::printf("%d of %d segments at rest\n", restingSegments, restingSegments + workingSegments);
    EXPECT_GT(restingSegments, kFrames / 128 / 5);
    EXPECT_GT(workingSegments, 44100 / 128);
}

// Blocks of one to eight quiet frames pass unchanged while the limiter rests, and leave the split
// where frames taken one by one leave it: a loud burst afterwards comes out the same from both.
// A block with a frame beyond full scale, with a high part beyond it (frames within it), or with
// a NaN is refused and changes nothing.
TEST(Limiter, RestingBlocksPassAsFramesOneByOneWould)
{
    CLimiter blocks;
    CLimiter frames;
    blocks.NoteRest();
    frames.NoteRest();
    std::mt19937 random(3);
    std::uniform_real_distribution<float> quiet(-0.8f, 0.8f);
    for (int block = 0; block < 2000; ++block) {
        const uint32_t count = 1 + static_cast<uint32_t>(block) % 8;
        std::array<float, 8> left{};
        std::array<float, 8> right{};
        for (uint32_t i = 0; i < count; ++i) {
            left[i] = quiet(random);
            right[i] = 0.5f * quiet(random);
        }
        ASSERT_TRUE(blocks.PassResting(PlainLanes::Load(left.data()), PlainLanes::Load(right.data()), count))
            << "block " << block;
        for (uint32_t i = 0; i < count; ++i) {
            const CLimiter::Vec4 out = frames.ProcessLanes(CLimiter::Vec4{left[i], right[i], 0.0f, 0.0f});
            ASSERT_NEAR(out[0], left[i], 1e-6f);
            ASSERT_NEAR(out[1], right[i], 1e-6f);
        }
    }
    const auto refused = [&](std::array<float, 8> left, uint32_t count) {
        CLimiter copy = blocks;
        std::array<float, 8> right{};
        return !copy.PassResting(PlainLanes::Load(left.data()), PlainLanes::Load(right.data()), count);
    };
    EXPECT_TRUE(refused({0.2f, 0.3f, 1.01f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f}, 3));
    EXPECT_FALSE(refused({0.2f, 0.3f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 5.0f}, 7))
        << "frames past the count count";
    EXPECT_TRUE(refused({0.95f, -0.95f, 0.95f, -0.95f, 0.95f, -0.95f, 0.95f, -0.95f}, 8));
    EXPECT_TRUE(refused({0.1f, NAN, 0.1f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f}, 3));
    for (int i = 0; i < 4000; ++i) {
        const float burst = 1.8f * static_cast<float>(std::sin(0.02 * i));
        const CLimiter::Vec4 a = blocks.ProcessLanes(CLimiter::Vec4{burst, -burst, 0.0f, 0.0f});
        const CLimiter::Vec4 b = frames.ProcessLanes(CLimiter::Vec4{burst, -burst, 0.0f, 0.0f});
        ASSERT_NEAR(a[0], b[0], 1e-5f) << "frame " << i;
        ASSERT_NEAR(a[1], b[1], 1e-5f) << "frame " << i;
    }
}
