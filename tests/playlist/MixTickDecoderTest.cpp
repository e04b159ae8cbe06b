#include "MixTickDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Step = CMixTickDecoder::Step;
using Positions = std::array<int32_t, 2>;

// Every event of the tick at tickStart, and how the tick ended.
struct Decoded {
    std::vector<CMixTickDecoder::Event> events;
    Step end = Step::Unreadable;
    uint32_t nextTick = 0;
};

Decoded DecodeTick(const std::vector<uint8_t>& stream, uint32_t tickStart, Positions& positions)
{
    CMixTickDecoder decoder(stream, tickStart);
    Decoded decoded;
    CMixTickDecoder::Event event;
    while ((decoded.end = decoder.Next(event, positions)) == Step::Event)
        decoded.events.push_back(event);
    if (decoded.end == Step::TickEnd)
        decoded.nextTick = decoder.NextTick();
    return decoded;
}

} // namespace

TEST(MixTickDecoder, ValuesOfEachWidthComeWithTheirIdAndChannel)
{
    // Volume of deck B in one byte, pitch of deck A in two, a cue point in four (negative).
    const std::vector<uint8_t> stream = {0x66, 0x00, 0x11, 200,  0x65, 0x00, 0x20, 0x34, 0x12, 0x02,
                                         0x04, 0x03, 0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0xC0, 0x00, 0x80};
    Positions positions{-1, -1};
    const Decoded first = DecodeTick(stream, 0, positions);
    ASSERT_EQ(first.end, Step::TickEnd);
    ASSERT_EQ(first.events.size(), 3u);
    EXPECT_EQ(first.events[0].id, 0x66);
    EXPECT_EQ(first.events[0].channel, 1);
    EXPECT_EQ(first.events[0].value, 200);
    EXPECT_EQ(first.events[1].id, 0x65);
    EXPECT_EQ(first.events[1].channel, 0);
    EXPECT_EQ(first.events[1].value, 0x1234);
    EXPECT_EQ(first.events[2].id, 0x402);
    EXPECT_EQ(first.events[2].channel, 3);
    EXPECT_EQ(first.events[2].value, -2);
    EXPECT_EQ(first.nextTick, 18u);
    // The next tick starts where the first ended: a bare marker.
    const Decoded second = DecodeTick(stream, first.nextTick, positions);
    EXPECT_EQ(second.end, Step::TickEnd);
    EXPECT_TRUE(second.events.empty());
    EXPECT_EQ(second.nextTick, stream.size());
    EXPECT_EQ(positions, (Positions{-1, -1}));
}

TEST(MixTickDecoder, PositionCodesSetAddOrSubtractPerDeck)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> tick; // starts past byte 0, so no first-tick mark
        Positions expected;
    };
    // Both decks start at 1000 frames.
    const Case cases[] = {
        {"unchanged", {0x00, 0x80}, {1000, 1000}},
        {"A absolute", {0x01, 0x80, 0x40, 0x42, 0x0F, 0x00}, {1000000, 1000}},
        {"A up", {0x02, 0x80, 128}, {1128, 1000}},
        {"A down", {0x03, 0x80, 255}, {745, 1000}},
        {"B absolute", {0x10, 0x80, 0xFF, 0xFF, 0xFF, 0xFF}, {1000, -1}},
        {"B up, A down", {0x23, 0x80, 10, 20}, {990, 1020}},
        {"B down", {0x30, 0x80, 1}, {1000, 999}},
    };
    for (const Case& c : cases) {
        // A first tick of a bare marker, then the case.
        std::vector<uint8_t> stream(2 + c.tick.size());
        stream[1] = 0xC0;
        std::copy(c.tick.begin(), c.tick.end(), stream.begin() + 2);
        Positions positions{1000, 1000};
        const Decoded decoded = DecodeTick(stream, 2, positions);
        EXPECT_EQ(decoded.end, Step::TickEnd) << c.what;
        EXPECT_EQ(decoded.nextTick, stream.size()) << c.what;
        EXPECT_EQ(positions, c.expected) << c.what;
    }
}

TEST(MixTickDecoder, TicksNoRecorderWritesAreUnreadable)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> stream;
        uint32_t tickStart;
        Step end;
    };
    const Case cases[] = {
        {"first-tick mark at the start", {0x00, 0xC0}, 0, Step::TickEnd},
        {"first-tick mark later", {0x00, 0xC0, 0x00, 0xC0}, 2, Step::Unreadable},
        {"marker bits no recorder sets", {0x00, 0x81}, 0, Step::Unreadable},
        {"width nibble 0x30", {0x66, 0x00, 0x30, 1, 0, 0, 0, 0x00, 0x80}, 0, Step::Unreadable},
        {"position code 4 for deck A", {0x04, 0x80, 0, 0, 0, 0}, 0, Step::Unreadable},
        {"position code 0xF0 for deck B", {0xF0, 0x80, 0, 0, 0, 0}, 0, Step::Unreadable},
        {"empty", {}, 0, Step::Unreadable},
    };
    for (const Case& c : cases) {
        Positions positions{0, 0};
        EXPECT_EQ(DecodeTick(c.stream, c.tickStart, positions).end, c.end) << c.what;
    }
}

TEST(MixTickDecoder, ATickCutShortAnywhereIsUnreadableAndSkippingAWholeOneLandsOnTheNext)
{
    // Two events and a marker with both positions absolute: every cut falls inside a field.
    const std::vector<uint8_t> tick = {0x66, 0x00, 0x20, 0x01, 0x02, 0x05, 0x00, 0x00, 0x01, 0x02, 0x03,
                                       0x04, 0x11, 0xC0, 1,    2,    3,    4,    5,    6,    7,    8};
    for (size_t size = 0; size < tick.size(); ++size) {
        const std::vector<uint8_t> cut(tick.begin(), tick.begin() + static_cast<std::ptrdiff_t>(size));
        Positions positions{0, 0};
        CMixTickDecoder decoder(cut, 0);
        EXPECT_FALSE(decoder.SkipTick(positions)) << size << " bytes";
    }
    Positions positions{0, 0};
    CMixTickDecoder decoder(tick, 0);
    ASSERT_TRUE(decoder.SkipTick(positions));
    EXPECT_EQ(decoder.NextTick(), tick.size());
    EXPECT_EQ(positions, (Positions{0x04030201, 0x08070605}));
}
