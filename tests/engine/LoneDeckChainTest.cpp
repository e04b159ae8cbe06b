#include "LoneDeckChain.h"
#include "PlainLanes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr CLoneDeckChain::Constants kMixer{0.0014f, 0.075f, 0.15f, 1e-12f};

// The chain one frame at a time, in the mixer's own arithmetic.
struct FrameChain {
    std::array<float, 5> s{};
    float low, mid, high;
    float Step(float in)
    {
        const float x = in - s[0];
        s[0] += kMixer.dcCoefficient * x + kMixer.tiny;
        const float high1 = x - 2.0f * s[1] - s[2];
        const float y = high1 * high + s[1] * mid + s[2] * low;
        s[1] += kMixer.stage1 * high1;
        s[2] += kMixer.stage1 * s[1] + kMixer.tiny;
        const float high2 = y - 2.0f * s[3] - s[4];
        const float out = s[4] * low + s[3] * mid + high2 * high;
        s[3] += kMixer.stage2 * high2;
        s[4] += kMixer.stage2 * s[3] + kMixer.tiny;
        return out;
    }
};

} // namespace

// Blocks of every length from 1 to 8, over a signal with a DC offset, a low tone and noise, with
// the equaliser flat, shaped, killed and boosted: outputs and states stay within 1e-6 of the
// largest output (of 1.0 where that is smaller) of the frame-by-frame chain.
TEST(LoneDeckChain, BlocksOfFramesFollowTheChainFrameByFrame)
{
    const std::array<std::array<float, 3>, 5> gainSets = {
        {{1.0f, 2.0f, 1.0f}, {0.2f, 3.0f, 1.7f}, {0.0f, 0.0f, 0.0f}, {4.0f, 0.5f, 0.1f}, {1.0f, 0.0f, 1.0f}}};
    constexpr uint32_t kFrames = 3 * 44100;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
    std::vector<float> in(kFrames);
    for (uint32_t i = 0; i < kFrames; ++i)
        in[i] = 0.1f + 0.55f * static_cast<float>(std::sin(0.013 * i)) + noise(random);
    for (const auto& gains : gainSets) {
        CLoneDeckChain chain(kMixer);
        chain.Build(gains[0], gains[1], gains[2]);
        FrameChain reference{{}, gains[0], gains[1], gains[2]};
        CLoneDeckChain::Lanes states{};
        std::vector<float> out(kFrames);
        double largestError = 0;
        double largestOutput = 0;
        uint32_t done = 0;
        for (uint32_t block = 0; done < kFrames; ++block) {
            const uint32_t count = std::min<uint32_t>(block % 9 == 0 ? 8 : 1 + block % 8, kFrames - done);
            std::array<float, 8> lanes;
            chain.Run<PlainLanes>(in.data() + done, count, states).Store(lanes.data());
            std::copy(lanes.begin(), lanes.begin() + count, out.begin() + done);
            for (uint32_t i = 0; i < count; ++i) {
                const float expected = reference.Step(in[done + i]);
                largestError =
                    std::max(largestError, std::fabs(static_cast<double>(out[done + i]) - expected));
                largestOutput = std::max(largestOutput, std::fabs(static_cast<double>(expected)));
            }
            done += count;
        }
        const double bound = 1e-6 * std::max(1.0, largestOutput);
        EXPECT_LE(largestError, bound) << "gains " << gains[0] << " " << gains[1] << " " << gains[2];
        for (int k = 0; k < 5; ++k)
            EXPECT_NEAR(states[k], reference.s[k], bound) << "state " << k;
    }
}

// Silence from rest stays at the chain's resting level, and a gain change rebuilds the sums.
TEST(LoneDeckChain, SilenceRestsAndNewGainsTakeEffect)
{
    CLoneDeckChain chain(kMixer);
    chain.Build(1.0f, 2.0f, 1.0f);
    CLoneDeckChain::Lanes states{};
    std::array<float, 8> silence{};
    std::array<float, 8> out{};
    for (int i = 0; i < 1000; ++i) {
        chain.Run<PlainLanes>(silence.data(), 8, states).Store(out.data());
        for (float v : out)
            ASSERT_LT(std::fabs(v), 1e-9f);
    }
    // A step of 0.5: nothing with every band killed; with the bands back at their flat gains, the
    // step as the DC blocker lets it through.
    const std::array<float, 8> step{0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    chain.Build(0.0f, 0.0f, 0.0f);
    chain.Run<PlainLanes>(step.data(), 8, states).Store(out.data());
    for (float v : out)
        EXPECT_LT(std::fabs(v), 1e-9f);
    chain.Build(1.0f, 2.0f, 1.0f);
    chain.Run<PlainLanes>(step.data(), 8, states).Store(out.data());
    EXPECT_GT(out[0], 0.45f);
}
