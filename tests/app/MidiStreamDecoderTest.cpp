#include "MidiStreamDecoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<MidiMessage> Decode(CMidiStreamDecoder& decoder, const std::vector<uint8_t>& bytes)
{
    std::vector<MidiMessage> messages;
    decoder.Feed(bytes.data(), bytes.size(), [&](const MidiMessage& m) { messages.push_back(m); });
    return messages;
}

void ExpectMessage(const MidiMessage& m, MidiMessageType type, int channel, int number, int value)
{
    EXPECT_EQ(m.type, type);
    EXPECT_EQ(m.channel, channel);
    EXPECT_EQ(m.number, number);
    EXPECT_EQ(m.value, value);
}

} // namespace

TEST(MidiStreamDecoder, RunningStatusRepeatsTheKindAndVelocityZeroReleases)
{
    CMidiStreamDecoder decoder;
    const auto messages =
        Decode(decoder, {0xB3, 7, 100, 8, 20, 0x91, 60, 127, 60, 0, 0xE0, 0x7F, 0x7F, 0, 0x40});
    ASSERT_EQ(messages.size(), 6u);
    ExpectMessage(messages[0], MidiMessageType::ControlChange, 3, 7, 100);
    ExpectMessage(messages[1], MidiMessageType::ControlChange, 3, 8, 20);
    ExpectMessage(messages[2], MidiMessageType::NoteOn, 1, 60, 127);
    ExpectMessage(messages[3], MidiMessageType::NoteOff, 1, 60, 0);
    ExpectMessage(messages[4], MidiMessageType::PitchBend, 0, 0, 16383);
    ExpectMessage(messages[5], MidiMessageType::PitchBend, 0, 0, 8192);
}

TEST(MidiStreamDecoder, MessagesSplitAcrossDeliveriesAndInterleavedClockBytesComeOutWhole)
{
    CMidiStreamDecoder decoder;
    EXPECT_TRUE(Decode(decoder, {0x90}).empty());
    EXPECT_TRUE(Decode(decoder, {0xF8, 64}).empty());
    const auto messages = Decode(decoder, {0xFE, 90, 0x80, 64, 0xFA, 3});
    ASSERT_EQ(messages.size(), 2u);
    ExpectMessage(messages[0], MidiMessageType::NoteOn, 0, 64, 90);
    ExpectMessage(messages[1], MidiMessageType::NoteOff, 0, 64, 3);
}

TEST(MidiStreamDecoder, SystemExclusiveOfAnyLengthAndStrayBytesAreSkipped)
{
    CMidiStreamDecoder decoder;
    EXPECT_TRUE(Decode(decoder, {5, 6, 7}).empty());
    EXPECT_EQ(decoder.StrayBytes(), 3u);
    // A long block in pieces: its data bytes are never read as controller values, and it ends
    // running status.
    std::vector<uint8_t> block = {0xB0, 7, 1, 0xF0};
    block.insert(block.end(), 100000, 0x11);
    auto messages = Decode(decoder, block);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(Decode(decoder, std::vector<uint8_t>(5000, 0x22)).empty());
    EXPECT_TRUE(Decode(decoder, {0x33, 0xF7, 7, 9}).empty());
    // System common messages carry data of their own, and a new status starts clean.
    EXPECT_TRUE(Decode(decoder, {0xF2, 0x10, 0x20, 0xC0, 5}).empty());
    messages = Decode(decoder, {0xB0, 7, 2, 0xF0, 1, 2, 0xB1, 9, 3});
    ASSERT_EQ(messages.size(), 2u);
    ExpectMessage(messages[1], MidiMessageType::ControlChange, 1, 9, 3);
}

TEST(MidiStreamDecoder, ResetDropsAHalfReadMessageAndRunningStatus)
{
    CMidiStreamDecoder decoder;
    EXPECT_EQ(Decode(decoder, {0xB0, 7, 1, 7}).size(), 1u);
    decoder.Reset();
    EXPECT_TRUE(Decode(decoder, {2, 8, 3}).empty());
    EXPECT_EQ(Decode(decoder, {0xB0, 8, 3}).size(), 1u);
}
