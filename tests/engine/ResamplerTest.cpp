#include "Resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr uint32_t kTick = 128;

struct TickSetting {
    uint32_t subStep;
    uint32_t shift;
};

// Runs one tick per step over input, handing each tick the unconsumed rest as a deck does, and
// notes the sub-step and averaging chosen for each tick. Stops early when the input runs short.
std::vector<int16_t> Resample(const std::vector<int16_t>& input, const std::vector<uint32_t>& steps,
                              std::vector<TickSetting>* settings = nullptr)
{
    CResampler resampler;
    std::vector<int16_t> out;
    size_t used = 0;
    for (uint32_t step : steps) {
        resampler.SetStep(step);
        if (used + resampler.Needed(kTick) > input.size())
            break;
        if (settings != nullptr)
            settings->push_back({resampler.SubStep(), resampler.AveragingShift()});
        int16_t tick[kTick];
        used += resampler.Process(input.data() + used, tick, kTick);
        out.insert(out.end(), tick, tick + kTick);
    }
    return out;
}

std::vector<uint32_t> Steady(double speed, size_t ticks)
{
    return std::vector<uint32_t>(ticks, static_cast<uint32_t>(speed * 65536.0));
}

// A plain interpolator kept apart from the fast one: an absolute 16.16 read position, the last
// two samples it has passed, and the average of 2^shift points one sub-step apart, each point
// shifted down on its own. Shift 3 and more takes the last sample passed, a full step at a time.
std::vector<int16_t> Reference(const std::vector<int16_t>& input, const std::vector<TickSetting>& settings)
{
    auto at = [&](int64_t index) -> int64_t { return index >= 0 ? input[static_cast<size_t>(index)] : 0; };
    std::vector<int16_t> out;
    uint64_t position = 0;
    for (const auto [subStep, shift] : settings) {
        for (uint32_t i = 0; i < kTick; ++i) {
            if (shift >= 3) {
                position += static_cast<uint64_t>(subStep) << shift;
                out.push_back(static_cast<int16_t>(at(static_cast<int64_t>(position >> 16) - 1)));
                continue;
            }
            int64_t sum = 0;
            for (int k = 0; k < 1 << shift; ++k) {
                position += subStep;
                const auto passed = static_cast<int64_t>(position >> 16);
                const auto fraction = static_cast<int64_t>(position & 0xFFFF);
                sum += (fraction * at(passed - 1) + (0x10000 - fraction) * at(passed - 2)) >> (16 + shift);
            }
            out.push_back(static_cast<int16_t>(sum));
        }
    }
    return out;
}

void ExpectSameSamples(const std::vector<int16_t>& actual, const std::vector<int16_t>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        ASSERT_EQ(actual[i], expected[i]) << "first difference at output " << i;
}

std::vector<int16_t> Noise(size_t samples, uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> value(-32768, 32767);
    std::vector<int16_t> out(samples);
    for (auto& s : out)
        s = static_cast<int16_t>(value(random));
    return out;
}

} // namespace

TEST(Resampler, UnityStepReproducesTheInputOneSampleLate)
{
    const std::vector<int16_t> input = Noise(2000, 1);
    const std::vector<int16_t> out = Resample(input, Steady(1.0, 8));
    ASSERT_EQ(out.size(), 1024u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(std::vector<int16_t>(out.begin() + 1, out.end()),
              std::vector<int16_t>(input.begin(), input.begin() + 1023));
}

TEST(Resampler, SpeedChoosesAveragingAndRoundsTheStep)
{
    struct Case {
        uint32_t step;
        uint32_t shift;
        uint32_t subStep;
        uint32_t fullStep;
    };
    const Case cases[] = {
        {0x8000, 0, 0x8000, 0x8000},   {0x10000, 0, 0x10000, 0x10000}, {0x10001, 1, 0x8000, 0x10000},
        {0x18000, 1, 0xC000, 0x18000}, {0x18001, 1, 0xC000, 0x18000},  {0x20000, 1, 0x10000, 0x20000},
        {0x30000, 2, 0xC000, 0x30000}, {0x30003, 2, 0xC000, 0x30000},  {0x40000, 2, 0x10000, 0x40000},
        {0x50000, 3, 0xA000, 0x50000}, {0x50007, 3, 0xA000, 0x50000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        CResampler resampler;
        resampler.SetStep(c.step);
        EXPECT_EQ(resampler.AveragingShift(), c.shift);
        EXPECT_EQ(resampler.SubStep(), c.subStep);
        EXPECT_EQ(resampler.Step(), c.fullStep);
    }
}

class ResamplerStep : public testing::TestWithParam<uint32_t> {};

// Needed() sizes the deck's read from its store: it must match the consumption exactly, with the
// fraction carried from call to call and the step changing between them.
TEST_P(ResamplerStep, NeededMatchesWhatProcessConsumes)
{
    std::mt19937 random(GetParam());
    std::uniform_int_distribution<uint32_t> anyStep(0, 0x80000);
    std::uniform_int_distribution<uint32_t> anyCount(1, kTick);
    for (bool interpolate : {true, false}) {
        CResampler resampler;
        resampler.SetInterpolation(interpolate);
        for (int call = 0; call < 300; ++call) {
            resampler.SetStep(call % 2 == 0 ? GetParam() : anyStep(random));
            const uint32_t outputs = call % 3 == 0 ? kTick : anyCount(random);
            const uint32_t needed = resampler.Needed(outputs);
            std::vector<int16_t> input(needed, 1); // exactly sized: a read beyond shows under ASan
            std::vector<int16_t> output(outputs);
            ASSERT_EQ(resampler.Process(input.data(), output.data(), outputs), needed) << "call " << call;
            ASSERT_LT(resampler.Fraction(), 0x10000u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, ResamplerStep,
                         testing::Values(0u, 0x8000u, 0x10000u, 0x10001u, 0x18000u, 0x7FFFFu, 0x80000u));

class ResamplerReference : public testing::TestWithParam<double> {};

TEST_P(ResamplerReference, MatchesPlainInterpolationSampleForSample)
{
    const std::vector<int16_t> input = Noise(40000, 7);
    for (const bool wide : {false, true}) {
        if (CResampler::UseWide(wide) != wide)
            continue; // no AVX2 here
        SCOPED_TRACE(wide ? "eight at a time" : "plain");
        std::vector<TickSetting> settings;
        const auto out = Resample(input, Steady(GetParam(), 32), &settings);
        ASSERT_EQ(out.size(), 32 * kTick);
        ExpectSameSamples(out, Reference(input, settings));
    }
    CResampler::UseWide(true);
}

// The eight-output path against the plain loop on sines, noise and silence, at the track's own
// speed from a fractional position, 1.37, 2.2 (a deck playing backwards at -2.2 steps the same)
// and 8.0, over call sizes that leave every tail length and cross the 128-output chunks, with
// the step changing between calls.
TEST(Resampler, EightAtATimeGivesThePlainLoopsSamples)
{
    if (!CResampler::ProcessorHasWide())
        GTEST_SKIP() << "no AVX2 on this processor";
    std::vector<std::pair<const char*, std::vector<int16_t>>> inputs;
    std::vector<int16_t> sine(60000);
    for (size_t i = 0; i < sine.size(); ++i)
        sine[i] = static_cast<int16_t>(std::lround(32767.0 * std::sin(0.0713 * static_cast<double>(i))));
    inputs.emplace_back("sine", sine);
    inputs.emplace_back("noise", Noise(60000, 23));
    inputs.emplace_back("silence", std::vector<int16_t>(60000, 0));
    std::vector<int16_t> extremes(60000);
    for (size_t i = 0; i < extremes.size(); ++i)
        extremes[i] = i % 3 == 0 ? -32768 : 32767;
    inputs.emplace_back("full scale", extremes);
    for (const auto& [name, input] : inputs) {
        for (const double speed : {1.0, 1.37, 2.2, 8.0}) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(speed));
            const auto run = [&, &input = input](bool wide) {
                CResampler::UseWide(wide);
                std::mt19937 random(5);
                std::uniform_int_distribution<uint32_t> count(1, 300);
                std::uniform_int_distribution<uint32_t> wobble(0, 0x3000);
                CResampler resampler;
                // Off the whole-sample grid first, so that speed 1.0 interpolates too.
                resampler.SetStep(0x9000);
                std::vector<int16_t> out(1);
                size_t used = resampler.Process(input.data(), out.data(), 1);
                for (int call = 0; call < 200; ++call) {
                    const auto step =
                        static_cast<uint32_t>(speed * 65536.0) + (call % 4 == 3 ? wobble(random) : 0);
                    resampler.SetStep(step);
                    const uint32_t outputs = count(random);
                    if (used + resampler.Needed(outputs) > input.size())
                        break;
                    const size_t at = out.size();
                    out.resize(at + outputs);
                    used += resampler.Process(input.data() + used, out.data() + at, outputs);
                }
                return out;
            };
            const std::vector<int16_t> plain = run(false);
            const std::vector<int16_t> wide = run(true);
            ASSERT_GT(plain.size(), 5000u);
            ExpectSameSamples(wide, plain);
        }
    }
    CResampler::UseWide(true);
}

INSTANTIATE_TEST_SUITE_P(Speeds, ResamplerReference,
                         testing::Values(0.3, 0.5, 0.77, 1.0, 1.37, 2.0, 2.9, 3.6, 5.0, 7.9));

// A change of speed between ticks, across the averaging modes and through stops (a stopped deck
// holds the point it stopped at), keeps the read position and the last two samples: no click at
// the tick boundary.
TEST(Resampler, HistoryCarriesAcrossSpeedChanges)
{
    const std::vector<int16_t> input = Noise(80000, 11);
    std::mt19937 random(3);
    std::uniform_int_distribution<uint32_t> anyStep(0, 0x80000);
    std::vector<uint32_t> steps(64);
    for (size_t t = 0; t < steps.size(); ++t)
        steps[t] = t % 7 == 3 || t % 7 == 4 ? 0 : anyStep(random);
    std::vector<TickSetting> settings;
    const auto out = Resample(input, steps, &settings);
    ASSERT_EQ(out.size(), steps.size() * kTick);
    ExpectSameSamples(out, Reference(input, settings));
}

TEST(Resampler, HalfSpeedOfARampInterpolatesMidpoints)
{
    std::vector<int16_t> ramp(300);
    for (size_t n = 0; n < ramp.size(); ++n)
        ramp[n] = static_cast<int16_t>(100 * (n + 1));
    const std::vector<int16_t> out = Resample(ramp, Steady(0.5, 4));
    ASSERT_EQ(out.size(), 512u);
    for (size_t k = 1; k < out.size(); ++k)
        ASSERT_EQ(out[k], static_cast<int>(50 * (k - 1))) << k;
}

TEST(Resampler, DcStaysDcAtEverySpeed)
{
    for (int16_t level : {int16_t{12345}, int16_t{-12347}, int16_t{32767}, int16_t{-32768}}) {
        for (double speed : {0.25, 0.5, 1.0, 1.5, 2.0, 3.0, 4.0, 5.0, 8.0}) {
            SCOPED_TRACE(testing::Message() << level << " at speed " << speed);
            std::vector<TickSetting> settings;
            const auto out = Resample(std::vector<int16_t>(20000, level), Steady(speed, 8), &settings);
            ASSERT_EQ(out.size(), 1024u);
            // Each of the 2^shift averaged points is truncated on its own, so the average may lie
            // below the level by up to one step per extra point, and never above.
            const uint32_t shift = settings.at(0).shift;
            const int slack = shift == 1 || shift == 2 ? (1 << shift) - 1 : 0;
            for (size_t i = 8; i < out.size(); ++i) {
                ASSERT_LE(out[i], level) << i;
                ASSERT_GE(out[i], level - slack) << i;
            }
        }
    }
}

TEST(Resampler, SpeedScalesThePeriodOfASine)
{
    constexpr double kPeriod = 100.0; // input samples
    std::vector<int16_t> sine(100000);
    for (size_t n = 0; n < sine.size(); ++n)
        sine[n] = static_cast<int16_t>(std::lround(20000.0 * std::sin(2.0 * M_PI * (n + 0.25) / kPeriod)));
    for (double speed : {0.5, 0.75, 1.5, 3.0, 5.0}) {
        SCOPED_TRACE(speed);
        const std::vector<int16_t> out = Resample(sine, Steady(speed, 64));
        ASSERT_EQ(out.size(), 8192u);
        std::vector<size_t> rising;
        for (size_t i = 16; i < out.size(); ++i)
            if (out[i - 1] < 0 && out[i] >= 0)
                rising.push_back(i);
        ASSERT_GE(rising.size(), 10u);
        const double period = static_cast<double>(rising.back() - rising.front()) / (rising.size() - 1);
        EXPECT_NEAR(period, kPeriod / speed, 0.01 * kPeriod / speed);
    }
}
