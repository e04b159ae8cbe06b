#include "SampleBuffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

void Fill(CSampleBuffer& buffer, const std::vector<int16_t>& samples, uint32_t gain)
{
    buffer.Init(2, 44100, static_cast<uint32_t>(samples.size()));
    std::memcpy(buffer.Data(), samples.data(), samples.size() * 2);
    buffer.SetGain(gain);
}

std::vector<int16_t> Contents(const CSampleBuffer& buffer)
{
    return {buffer.Samples(), buffer.Samples() + buffer.Length()};
}

// A view of `length` samples in the middle of guard samples, so a write past either end shows.
struct GuardedView {
    static constexpr int16_t kGuard = 0x5A5A;
    std::vector<int16_t> memory;
    CSampleBuffer view;
    GuardedView(uint32_t length, int16_t value) : memory(length + 8, kGuard)
    {
        std::fill(memory.begin() + 4, memory.begin() + 4 + length, value);
        view.AttachView(memory.data() + 4, length, 44100);
        view.SetGain(CSampleBuffer::kUnityGain);
    }
    bool GuardsIntact() const
    {
        return std::all_of(memory.begin(), memory.begin() + 4, [](int16_t s) { return s == kGuard; }) &&
               std::all_of(memory.end() - 4, memory.end(), [](int16_t s) { return s == kGuard; });
    }
};

} // namespace

TEST(SampleBuffer, SetLengthKeepsLeadingSamplesAndClearsNewOnes)
{
    CSampleBuffer buffer;
    Fill(buffer, {1, -2, 3, -4}, 0x8000);
    buffer.SetLength(6);
    EXPECT_EQ(Contents(buffer), (std::vector<int16_t>{1, -2, 3, -4, 0, 0}));
    buffer.SetLength(2);
    EXPECT_EQ(Contents(buffer), (std::vector<int16_t>{1, -2}));
    buffer.SetLength(0);
    EXPECT_EQ(buffer.Data(), nullptr);
}

TEST(SampleBuffer, ApplyGainScalesSaturatesAndResetsToUnity)
{
    const std::vector<int16_t> input{1000, -1000, 16383, -16384, 20000, -20000, 32767, -32768};
    struct Case {
        uint32_t gain;
        std::vector<int16_t> expected;
    };
    const Case cases[] = {
        {0x8000, input},
        {0x10000, {2000, -2000, 32766, -32768, 32767, -32768, 32767, -32768}},
        {0x4000, {500, -500, 8191, -8192, 10000, -10000, 16383, -16384}},
        {0x6000, {750, -750, 12287, -12288, 15000, -15000, 24575, -24576}},
        {0, {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gain);
        CSampleBuffer buffer;
        Fill(buffer, input, c.gain);
        buffer.ApplyGain();
        EXPECT_EQ(Contents(buffer), c.expected);
        EXPECT_EQ(buffer.Gain(), CSampleBuffer::kUnityGain);
    }
}

TEST(SampleBuffer, ApplyGainSaturatesEightBitSamplesAtTheirOwnRange)
{
    CSampleBuffer buffer;
    buffer.Init(1, 44100, 4);
    const int8_t input[] = {50, -50, 100, -100};
    std::memcpy(buffer.Data(), input, 4);
    buffer.SetGain(0x10000);
    buffer.ApplyGain();
    const auto* out = static_cast<const int8_t*>(buffer.Data());
    EXPECT_EQ((std::vector<int>{out[0], out[1], out[2], out[3]}), (std::vector<int>{100, -100, 127, -128}));
}

TEST(SampleBuffer, MixingFormsGainWeightedAverageAndAddsGains)
{
    struct Case {
        uint32_t destinationGain;
        int16_t destination;
        uint32_t sourceGain;
        int16_t source;
        int16_t mixed;      // the average held in the buffer
        uint32_t mixedGain; // the scale it carries
        int16_t applied;    // after ApplyGain: the saturated, gain-weighted sum
    };
    const Case cases[] = {
        {0x8000, 1000, 0, 3000, 1000, 0x8000, 1000},       // silent source leaves the buffer alone
        {0, 1000, 0x6000, 3000, 3000, 0x6000, 2250},       // silent buffer takes the source as is
        {0x8000, 1000, 0x8000, 3000, 2000, 0x10000, 4000}, // two unity slices: their sum
        {0x8000, -1000, 0x8000, -3000, -2000, 0x10000, -4000},
        {0x8000, 30000, 0x8000, 20000, 25000, 0x10000, 32767}, // the sum saturates only when applied
        {0x8000, -30000, 0x8000, -20000, -25000, 0x10000, -32768},
        {0x8000, 0, 0x18000, 4000, 3000, 0x20000, 12000},     // 1.0 x 0 + 3.0 x 4000
        {0x4000, 8000, 0xC000, -8000, -4000, 0x10000, -8000}, // 0.5 x 8000 + 1.5 x -8000
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.destination << " + " << c.source);
        CSampleBuffer destination;
        CSampleBuffer source;
        Fill(destination, std::vector<int16_t>(128, c.destination), c.destinationGain);
        Fill(source, std::vector<int16_t>(128, c.source), c.sourceGain);
        source.MixInto(destination, 0, 128);
        EXPECT_EQ(Contents(destination), std::vector<int16_t>(128, c.mixed));
        EXPECT_EQ(destination.Gain(), c.mixedGain);
        destination.ApplyGain();
        EXPECT_EQ(Contents(destination), std::vector<int16_t>(128, c.applied));
    }
}

TEST(SampleBuffer, RangeOperationsNeverWritePastTheEnd)
{
    CSampleBuffer source;
    Fill(source, {1, 2, 3, 4, 5, 6, 7, 8}, 0x8000);

    GuardedView copied(8, 0);
    copied.view.CopyRange(source, 0, 6, 10);
    copied.view.CopyRange(source, 6, 0, 5); // only two samples are left in the source
    EXPECT_EQ(Contents(copied.view), (std::vector<int16_t>{7, 8, 0, 0, 0, 0, 1, 2}));

    GuardedView cleared(8, 9);
    cleared.view.ClearRange(5, 100);
    cleared.view.ClearRange(8, 1);
    EXPECT_EQ(Contents(cleared.view), (std::vector<int16_t>{9, 9, 9, 9, 9, 0, 0, 0}));

    GuardedView mixed(8, 9);
    source.MixInto(mixed.view, 4, 100);
    EXPECT_EQ(Contents(mixed.view), (std::vector<int16_t>{9, 9, 9, 9, 7, 7, 8, 8}));

    for (const GuardedView* guarded : {&copied, &cleared, &mixed})
        EXPECT_TRUE(guarded->GuardsIntact());
}

TEST(SampleBuffer, FlipSignTogglesTheTopBitOfEveryWidth)
{
    CSampleBuffer narrow;
    narrow.Init(1, 44100, 3);
    const uint8_t bytes[] = {0x00, 0x7F, 0x80};
    std::memcpy(narrow.Data(), bytes, 3);
    narrow.FlipSign();
    const auto* n = static_cast<const uint8_t*>(narrow.Data());
    EXPECT_EQ((std::vector<int>{n[0], n[1], n[2]}), (std::vector<int>{0x80, 0xFF, 0x00}));

    CSampleBuffer middle;
    Fill(middle, {0, -32768, -1, 32767}, 0x8000);
    middle.FlipSign();
    EXPECT_EQ(Contents(middle), (std::vector<int16_t>{-32768, 0, 32767, -1}));

    CSampleBuffer wide;
    wide.Init(4, 44100, 2);
    const uint32_t words[] = {0x00000000u, 0x80000001u};
    std::memcpy(wide.Data(), words, 8);
    wide.FlipSign();
    const auto* w = static_cast<const uint32_t*>(wide.Data());
    EXPECT_EQ(w[0], 0x80000000u);
    EXPECT_EQ(w[1], 0x00000001u);
}

TEST(SampleBuffer, ChangeWidthNarrowsTowardZeroAndWidensByShifting)
{
    CSampleBuffer buffer;
    Fill(buffer, {32767, 1000, 256, 255, -1, -256, -32768}, 0x8000);
    buffer.ChangeWidth(1);
    ASSERT_EQ(buffer.Width(), 1);
    const auto* narrow = static_cast<const int8_t*>(buffer.Data());
    EXPECT_EQ(std::vector<int>(narrow, narrow + 7), (std::vector<int>{127, 3, 1, 0, 0, -1, -128}));
    buffer.ChangeWidth(2);
    ASSERT_EQ(buffer.Width(), 2);
    EXPECT_EQ(Contents(buffer), (std::vector<int16_t>{32512, 768, 256, 0, 0, -256, -32768}));
}

TEST(SampleBuffer, WriteMonoProducesEachDeviceLayout)
{
    const std::vector<int16_t> samples{-32768, -256, -255, -1, 0, 1, 256, 32767};
    struct Case {
        DeviceFormat format;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {DeviceFormat::S16,
         {0x00, 0x80, 0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0xFF, 0x7F}},
        {DeviceFormat::U16,
         {0x00, 0x00, 0x00, 0x7F, 0x01, 0x7F, 0xFF, 0x7F, 0x00, 0x80, 0x01, 0x80, 0x00, 0x81, 0xFF, 0xFF}},
        // 8-bit forms divide by 256 towards zero: -255 and -1 become 0, not -1.
        {DeviceFormat::S8, {0x80, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x01, 0x7F}},
        {DeviceFormat::U8, {0x00, 0x7F, 0x80, 0x80, 0x80, 0x80, 0x81, 0xFF}},
        {DeviceFormat::S24, {0x00, 0x00, 0x80, 0x00, 0x00, 0xFF, 0x00, 0x01, 0xFF, 0x00, 0xFF, 0xFF,
                             0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0xFF, 0x7F}},
        {DeviceFormat::S32,
         {0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x01, 0xFF, 0x00, 0x00, 0xFF, 0xFF,
          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0xFF, 0x7F}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.format));
        CSampleBuffer buffer;
        Fill(buffer, samples, 0x8000);
        std::vector<uint8_t> device(c.bytes.size() + 4, 0xAB);
        buffer.WriteMono(device.data(), c.format);
        EXPECT_EQ(std::vector<uint8_t>(device.begin(), device.end() - 4), c.bytes);
        EXPECT_EQ(std::vector<uint8_t>(device.end() - 4, device.end()), std::vector<uint8_t>(4, 0xAB));
    }

    CSampleBuffer buffer;
    Fill(buffer, samples, 0x8000);
    std::vector<float> device(samples.size());
    buffer.WriteMono(device.data(), DeviceFormat::Float);
    EXPECT_EQ(device, (std::vector<float>{-1.0f, -0.0078125f, -0.007781982421875f, -0.000030517578125f, 0.0f,
                                          0.000030517578125f, 0.0078125f, 0.999969482421875f}));
}

TEST(SampleBuffer, WritePairAppliesBothGainsAndInterleavesLeftFirst)
{
    for (DeviceFormat format : {DeviceFormat::S16, DeviceFormat::U16, DeviceFormat::S8, DeviceFormat::U8,
                                DeviceFormat::S24, DeviceFormat::S32, DeviceFormat::Float}) {
        SCOPED_TRACE(static_cast<int>(format));
        CSampleBuffer left;
        CSampleBuffer right;
        CSampleBuffer leftAlone;
        CSampleBuffer rightAlone;
        Fill(left, {1000, 2000, 3000}, 0x10000);
        Fill(right, {-1000, -2000, -3000}, 0x4000);
        Fill(leftAlone, {2000, 4000, 6000}, 0x8000);
        Fill(rightAlone, {-500, -1000, -1500}, 0x8000);

        const size_t bytes = static_cast<size_t>(BytesPerSample(format));
        std::vector<uint8_t> pair(6 * bytes);
        std::vector<uint8_t> leftBytes(3 * bytes);
        std::vector<uint8_t> rightBytes(3 * bytes);
        left.WritePair(right, pair.data(), format);
        leftAlone.WriteMono(leftBytes.data(), format);
        rightAlone.WriteMono(rightBytes.data(), format);
        for (size_t frame = 0; frame < 3; ++frame) {
            EXPECT_EQ(0, std::memcmp(&pair[2 * frame * bytes], &leftBytes[frame * bytes], bytes)) << frame;
            EXPECT_EQ(0, std::memcmp(&pair[(2 * frame + 1) * bytes], &rightBytes[frame * bytes], bytes))
                << frame;
        }
    }
}

TEST(SampleBuffer, FloatConversionScalesByFullScaleAndRoundsToNearest)
{
    CSampleBuffer buffer;
    Fill(buffer, {-32768, -16384, 0, 1, 16384, 32767}, 0x8000);
    std::vector<float> floats(6);
    buffer.ToFloat(floats.data());
    EXPECT_EQ(floats, (std::vector<float>{-1.0f, -0.5f, 0.0f, 0.000030517578125f, 0.5f, 0.999969482421875f}));

    // 1.25 and -1.25 are beyond full scale: only the low 16 bits of +-40959 are kept.
    const std::vector<float> in{1.0f, -1.0f, 0.25f, 0.1f, -0.1f, 1e-5f, -1e-5f, 1.25f, -1.25f};
    CSampleBuffer out;
    Fill(out, std::vector<int16_t>(in.size(), 0x1234), 0x8000);
    out.FromFloat(in.data());
    EXPECT_EQ(Contents(out), (std::vector<int16_t>{32767, -32767, 8192, 3277, -3277, 0, 0, -24577, 24577}));

    // A whole buffer (converted four at a time): exact halves round to even, and every sample
    // is what lrint of the double product gives.
    CSampleBuffer many;
    Fill(many, std::vector<int16_t>(1001, 0), 0x8000);
    std::vector<float> values(1001);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> spread(-1.3f, 1.3f);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = i % 3 == 0 ? (static_cast<float>(i) - 500.5f) / 32767.0f : spread(random);
    many.FromFloat(values.data());
    const std::vector<int16_t> got = Contents(many);
    ASSERT_EQ(got.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        const long exact = std::lrint(static_cast<double>(values[i]) * 32767.0);
        EXPECT_EQ(got[i], static_cast<int16_t>(static_cast<uint16_t>(exact))) << i << ": " << values[i];
    }
}

TEST(SampleBuffer, ReadersKeepInterleavedChannelsApart)
{
    const std::vector<int16_t> interleaved{100, -100, 200, -200, 300, -300, 400, -400};
    CSampleBuffer left;
    CSampleBuffer right;
    Fill(left, {7, 7, 7}, 0x8000);
    Fill(right, {7, 7, 7}, 0x8000);
    left.ReadPair(right, interleaved.data(), 4); // more frames than fit: the rest is not read
    EXPECT_EQ(Contents(left), (std::vector<int16_t>{100, 200, 300}));
    EXPECT_EQ(Contents(right), (std::vector<int16_t>{-100, -200, -300}));

    CSampleBuffer one;
    Fill(one, {7, 7, 7}, 0x8000);
    one.ReadChannel(interleaved.data(), 2, 1);
    EXPECT_EQ(Contents(one), (std::vector<int16_t>{-100, -200, 7}));
}
