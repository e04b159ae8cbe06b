#include "AudioBus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kFrames = CAudioBus::kTickFrames;

// What a deck does: takes a channel and writes a constant into the slices it took.
uint8_t TakeDc(CAudioBus& bus, uint16_t firstTick, uint16_t ticks, int16_t value, int8_t pan,
               uint32_t gain = CSampleBuffer::kUnityGain)
{
    const uint8_t channel = bus.AllocChannel(firstTick, ticks);
    for (uint32_t t = firstTick; t < firstTick + ticks; ++t) {
        CSampleBuffer& slice = bus.Slice(channel, t);
        std::fill(slice.Samples(), slice.Samples() + kFrames, value);
        slice.SetPan(pan);
        slice.SetGain(gain);
    }
    return channel;
}

std::vector<uint8_t> GroupList(const CAudioBus& bus, uint8_t group)
{
    std::vector<uint8_t> list;
    for (const uint8_t* c = bus.GroupChannels(group); list.size() < 8 && *c != CAudioBus::kNone; ++c)
        list.push_back(*c);
    return list;
}

// Plain decoder of one device sample back to the 16-bit scale; exact for multiples of 256.
int Decode(const uint8_t* p, DeviceFormat format)
{
    switch (format) {
    case DeviceFormat::S16:
        return static_cast<int16_t>(p[0] | p[1] << 8);
    case DeviceFormat::U16:
        return (p[0] | p[1] << 8) - 32768;
    case DeviceFormat::S8:
        return static_cast<int8_t>(p[0]) * 256;
    case DeviceFormat::U8:
        return (p[0] - 128) * 256;
    case DeviceFormat::S24:
        return static_cast<int16_t>(p[1] | p[2] << 8);
    case DeviceFormat::S32:
        return static_cast<int16_t>(p[2] | p[3] << 8);
    case DeviceFormat::Float: {
        float value;
        std::memcpy(&value, p, 4);
        return static_cast<int>(std::lround(value * 32768.0f));
    }
    }
    return 0;
}

// Every frame of a folded stereo block, as (left, right) on the 16-bit scale.
std::vector<std::pair<int, int>> DecodePairs(const std::vector<uint8_t>& device, DeviceFormat format)
{
    const size_t bytes = static_cast<size_t>(BytesPerSample(format));
    std::vector<std::pair<int, int>> frames;
    for (size_t offset = 0; offset + 2 * bytes <= device.size(); offset += 2 * bytes)
        frames.emplace_back(Decode(&device[offset], format), Decode(&device[offset + bytes], format));
    return frames;
}

std::vector<std::pair<int, int>> FoldStereoDc(CAudioBus& bus, uint8_t mask)
{
    std::vector<uint8_t> device(bus.TicksPerBlock() * kFrames * 4);
    bus.FoldStereo(mask, device.data(), DeviceFormat::S16);
    return DecodePairs(device, DeviceFormat::S16);
}

} // namespace

TEST(AudioBus, TickDurationFollowsTheRate)
{
    const CAudioBus bus(44100, 4);
    EXPECT_FLOAT_EQ(bus.TickDurationMs(), 2.9024943f);
    EXPECT_EQ(bus.TickDurationWholeMs(), 3);
}

TEST(AudioBus, RegisterGroupTakesOneToThreeThenHandsBackAGroupOfTheSameType)
{
    CAudioBus bus(44100, 1);
    EXPECT_EQ(bus.RegisterGroup(1), 1);
    EXPECT_EQ(bus.RegisterGroup(2), 2);
    EXPECT_EQ(bus.RegisterGroup(1), 3);
    EXPECT_EQ(bus.RegisterGroup(2), 2);
    EXPECT_EQ(bus.RegisterGroup(1), 1);
    EXPECT_EQ(bus.RegisterGroup(4), 0);
    EXPECT_EQ(bus.GroupType(3), 1);
}

TEST(AudioBus, AllocChannelReusesAFreedSpanAndSilencesTheGap)
{
    CAudioBus bus(44100, 4);
    bus.SelectGroup(bus.RegisterGroup(1));
    const uint8_t first = TakeDc(bus, 0, 1, 1000, -128);
    const uint8_t second = TakeDc(bus, 0, 1, 1000, 127);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1); // the group's channel is taken at tick 0: the lowest free one is added

    bus.Slice(first, 1).SetGain(0x8000); // stale gains that must not survive
    bus.Slice(first, 2).SetGain(0x8000);
    bus.Slice(first, 3).SetPan(55);
    EXPECT_EQ(bus.AllocChannel(3, 1), first);
    EXPECT_EQ(bus.FillLevel(first), 4u);
    EXPECT_EQ(bus.Slice(first, 0).Gain(), 0x8000u); // written before: kept
    EXPECT_EQ(bus.Slice(first, 1).Gain(), 0u);
    EXPECT_EQ(bus.Slice(first, 2).Gain(), 0u);
    EXPECT_EQ(bus.Slice(first, 3).Gain(), 0u);
    EXPECT_EQ(bus.Slice(first, 3).Pan(), 0);
    EXPECT_EQ(GroupList(bus, bus.CurrentGroup()), (std::vector<uint8_t>{0, 1}));

    bus.SelectGroup(bus.RegisterGroup(2)); // another group never takes a channel in use
    EXPECT_EQ(bus.AllocChannel(0, 4), 2);
    EXPECT_EQ(bus.AllocChannel(4, 1), CAudioBus::kNone); // beyond the block
}

TEST(AudioBus, NinthChannelIsRefusedAndClearFreesEverything)
{
    CAudioBus bus(44100, 2);
    for (int c = 0; c < CAudioBus::kChannels; ++c)
        EXPECT_EQ(TakeDc(bus, 0, 2, 100, 0), c);
    EXPECT_EQ(bus.AllocChannel(0, 1), CAudioBus::kNone);
    bus.CollapseGroup(2); // no channel left for the pair: the group stays as it was
    EXPECT_EQ(GroupList(bus, 0).size(), 8u);

    bus.SelectGroup(bus.RegisterGroup(1));
    bus.Clear(1234);
    EXPECT_EQ(bus.CurrentGroup(), 0);
    EXPECT_EQ(bus.TickStartMs(), 1234);
    EXPECT_TRUE(GroupList(bus, 0).empty());
    for (uint8_t c = 0; c < CAudioBus::kChannels; ++c) {
        EXPECT_EQ(bus.FillLevel(c), 0u);
        EXPECT_EQ(bus.Slice(c, 1).Gain(), 0u);
    }
    EXPECT_EQ(bus.AllocChannel(0, 1), 0);
}

TEST(AudioBus, ReleaseChannelSilencesFromTheTickOn)
{
    CAudioBus bus(44100, 4);
    const uint8_t channel = TakeDc(bus, 0, 4, 1000, 0);
    bus.ReleaseChannel(channel, 2);
    const std::vector<uint32_t> gains{bus.Slice(channel, 0).Gain(), bus.Slice(channel, 1).Gain(),
                                      bus.Slice(channel, 2).Gain(), bus.Slice(channel, 3).Gain()};
    EXPECT_EQ(gains, (std::vector<uint32_t>{0x8000, 0x8000, 0, 0}));
}

TEST(AudioBus, CollapsingAnEmptyGroupGivesASilentPairUpToTheEndTick)
{
    CAudioBus bus(44100, 4);
    bus.SelectGroup(bus.RegisterGroup(1));
    bus.CollapseGroup(2);
    const std::vector<uint8_t> pair = GroupList(bus, bus.CurrentGroup());
    ASSERT_EQ(pair.size(), 2u);
    for (uint8_t c : pair) {
        EXPECT_EQ(bus.FillLevel(c), 2u);
        EXPECT_EQ(bus.Slice(c, 0).Gain(), 0u);
        EXPECT_EQ(bus.Slice(c, 1).Gain(), 0u);
    }
}

TEST(AudioBus, CollapseKeepsHardPannedChannelsApartAndSplitsTheCentre)
{
    CAudioBus bus(44100, 2);
    bus.SelectGroup(bus.RegisterGroup(1));
    const uint8_t deckLeft = TakeDc(bus, 0, 1, 1000, -128);
    const uint8_t deckRight = TakeDc(bus, 0, 1, -2000, 127);
    const uint8_t centre = TakeDc(bus, 1, 1, 1600, 0);
    bus.CollapseGroup(1);

    const std::vector<uint8_t> pair = GroupList(bus, bus.CurrentGroup());
    ASSERT_EQ(pair.size(), 2u);
    for (uint8_t old : {deckLeft, deckRight, centre})
        EXPECT_EQ(bus.FillLevel(old), 0u);
    CSampleBuffer& left0 = bus.Slice(pair[0], 0);
    CSampleBuffer& right0 = bus.Slice(pair[1], 0);
    CSampleBuffer& left1 = bus.Slice(pair[0], 1);
    CSampleBuffer& right1 = bus.Slice(pair[1], 1);
    EXPECT_EQ(bus.FillLevel(pair[0]), 2u); // the highest fill level of the group, past the end tick
    EXPECT_EQ(left0.Pan(), -128);
    EXPECT_EQ(right0.Pan(), 127);
    for (CSampleBuffer* slice : {&left0, &right0, &left1, &right1})
        slice->ApplyGain();
    for (uint32_t i = 0; i < kFrames; ++i) {
        ASSERT_EQ(left0.Samples()[i], 1000);
        ASSERT_EQ(right0.Samples()[i], -2000);
        ASSERT_NEAR(left1.Samples()[i], 797, 1);  // 1600 x 127/255
        ASSERT_NEAR(right1.Samples()[i], 803, 1); // 1600 x 128/255
    }
}

TEST(AudioBus, FoldStereoPlacesHardPansWhollyOnTheirSide)
{
    struct Case {
        int8_t pan;
        uint32_t gain;
        int left;
        int right;
    };
    // Unity and doubled gain are where a (128 - pan) / (pan + 129) law leaks 1/256 to the far side.
    const Case cases[] = {
        {-128, 0x8000, 1000, 0}, {-128, 0x10000, 2000, 0}, {127, 0x8000, 0, 1000},
        {127, 0x10000, 0, 2000}, {0, 0x8000, 500, 504},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "pan " << int{c.pan} << " gain " << c.gain);
        CAudioBus bus(44100, 1);
        bus.SelectGroup(bus.RegisterGroup(1));
        TakeDc(bus, 0, 1, 1000, c.pan, c.gain);
        bus.SelectGroup(bus.RegisterGroup(2)); // a monitor group the main fold must leave out
        TakeDc(bus, 0, 1, 3000, 0);
        const auto frames = FoldStereoDc(bus, 1);
        ASSERT_EQ(frames.size(), kFrames);
        for (const auto& [left, right] : frames) {
            ASSERT_NEAR(left, c.left, 1);
            ASSERT_NEAR(right, c.right, 1);
        }
    }
}

TEST(AudioBus, FoldMonoSumsTheMatchingGroups)
{
    CAudioBus bus(44100, 2);
    const uint8_t main = bus.RegisterGroup(1);
    const uint8_t monitor = bus.RegisterGroup(2);
    bus.SelectGroup(main);
    TakeDc(bus, 0, 2, 1000, -128);
    TakeDc(bus, 0, 1, 3000, 127); // tick 0 only
    bus.SelectGroup(monitor);
    TakeDc(bus, 0, 2, -10000, 0);

    std::vector<int16_t> device(2 * kFrames);
    bus.FoldMono(1, device.data(), DeviceFormat::S16);
    EXPECT_EQ(std::vector<int16_t>(device.begin(), device.begin() + kFrames),
              std::vector<int16_t>(kFrames, 4000));
    EXPECT_EQ(std::vector<int16_t>(device.begin() + kFrames, device.end()),
              std::vector<int16_t>(kFrames, 1000));
}

TEST(AudioBus, FoldSplitSendsMainLeftAndMonitorRight)
{
    CAudioBus bus(44100, 1);
    const uint8_t main = bus.RegisterGroup(1);
    const uint8_t monitor = bus.RegisterGroup(2);
    bus.SelectGroup(main);
    TakeDc(bus, 0, 1, 1000, -128);
    TakeDc(bus, 0, 1, 3000, 127);
    bus.SelectGroup(monitor);
    TakeDc(bus, 0, 1, -5000, 127);

    std::vector<uint8_t> device(kFrames * 4);
    bus.FoldSplit(1, 2, device.data(), DeviceFormat::S16);
    for (const auto& [left, right] : DecodePairs(device, DeviceFormat::S16)) {
        ASSERT_EQ(left, 4000);
        ASSERT_EQ(right, -5000);
    }
}

class AudioBusFormat : public testing::TestWithParam<DeviceFormat> {};

TEST_P(AudioBusFormat, FoldWritesEveryTickOfTheBlockAndNoFurther)
{
    constexpr uint32_t kTicks = 5;
    const DeviceFormat format = GetParam();
    CAudioBus bus(44100, kTicks);
    bus.SelectGroup(bus.RegisterGroup(1));
    for (uint16_t t = 0; t < kTicks; ++t) {
        TakeDc(bus, t, 1, static_cast<int16_t>(512 * (t + 1)), -128);
        TakeDc(bus, t, 1, static_cast<int16_t>(-768 * (t + 1)), 127);
    }
    const size_t blockBytes = kTicks * kFrames * 2 * static_cast<size_t>(BytesPerSample(format));
    std::vector<uint8_t> device(blockBytes + 16, 0xAB);
    bus.FoldStereo(1, device.data(), format);

    const auto frames =
        DecodePairs(std::vector<uint8_t>(device.begin(), device.begin() + blockBytes), format);
    ASSERT_EQ(frames.size(), kTicks * kFrames);
    for (size_t i = 0; i < frames.size(); ++i) {
        const int t = static_cast<int>(i / kFrames);
        ASSERT_EQ(frames[i].first, 512 * (t + 1)) << "frame " << i;
        ASSERT_EQ(frames[i].second, -768 * (t + 1)) << "frame " << i;
    }
    EXPECT_EQ(std::vector<uint8_t>(device.begin() + blockBytes, device.end()),
              std::vector<uint8_t>(16, 0xAB));
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, AudioBusFormat,
                         testing::Values(DeviceFormat::S16, DeviceFormat::U16, DeviceFormat::S8,
                                         DeviceFormat::U8, DeviceFormat::S24, DeviceFormat::S32,
                                         DeviceFormat::Float));
