#include "TimeLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

constexpr int32_t kMin = CTimeLine::kMinDisplayMs;

// Tracks 100, 101, ... with lengths in ms, appended in mode 1.
void Fill(CTimeLine& line, const std::vector<int32_t>& lengths, int mode = CTimeLine::kAtLeastMin)
{
    line.Clear();
    line.SetDisplayMode(mode);
    for (size_t i = 0; i < lengths.size(); ++i)
        ASSERT_TRUE(line.Append(static_cast<int32_t>(100 + i), lengths[i], false));
}

std::vector<int32_t> Tracks(const CTimeLine& line)
{
    std::vector<int32_t> tracks;
    for (int i = 0; i < line.Count(); ++i)
        tracks.push_back(line.Item(i)->track);
    return tracks;
}

// Decks alternate from item to item and every block starts where the one before ends.
::testing::AssertionResult LaidOut(const CTimeLine& line)
{
    int32_t start = 0;
    for (int i = 0; i < line.Count(); ++i) {
        const TimeLineItem& item = *line.Item(i);
        if (i > 0 && item.deck == line.Item(i - 1)->deck)
            return ::testing::AssertionFailure() << "items " << i - 1 << " and " << i << " share a deck";
        if (item.start != start)
            return ::testing::AssertionFailure()
                   << "item " << i << " starts at " << item.start << ", not " << start;
        start += item.displayLength;
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(TimeLine, DisplayLengthFollowsTheMode)
{
    struct Case {
        int mode;
        int32_t length;
        int32_t display;
    } const cases[] = {
        {CTimeLine::kRealLengths, 0, kMin},    {CTimeLine::kRealLengths, 90000, 90000},
        {CTimeLine::kAtLeastMin, 90000, kMin}, {CTimeLine::kAtLeastMin, 240000, 240000},
        {CTimeLine::kFixed, 240000, kMin},     {CTimeLine::kFixed, 0, kMin},
        {CTimeLine::kAtLeastMin, -1, kMin},
    };
    for (const Case& c : cases) {
        CTimeLine line;
        Fill(line, {c.length}, c.mode);
        EXPECT_EQ(line.Item(0)->displayLength, c.display) << "mode " << c.mode << " length " << c.length;
        EXPECT_GE(line.Item(0)->length, 0) << "an unknown length is stored as 0";
    }
}

TEST(TimeLine, AppendAlternatesDecksFromAAndLaysBlocksEndToEnd)
{
    CTimeLine line;
    Fill(line, {240000, 90000, 200000});
    EXPECT_EQ(line.Item(0)->deck, 0);
    EXPECT_EQ(line.Item(1)->deck, 1);
    EXPECT_EQ(line.Item(2)->deck, 0);
    EXPECT_EQ(line.Item(1)->start, 240000);
    EXPECT_EQ(line.Item(2)->start, 240000 + kMin);
    EXPECT_TRUE(LaidOut(line));

    // Switching to fixed blocks redraws every item 170 s long.
    line.SetDisplayMode(CTimeLine::kFixed);
    EXPECT_EQ(line.Item(2)->start, 2 * kMin);
    line.ClearChanged();
    line.SetTrackLength(101, 300000);
    EXPECT_TRUE(line.Changed());
    EXPECT_EQ(line.Item(1)->length, 300000);
}

TEST(TimeLine, A999ItemLineRefusesFurtherItems)
{
    CTimeLine line;
    for (int i = 0; i < CTimeLine::kMaxItems; ++i)
        ASSERT_TRUE(line.Append(i, 1000, false));
    line.ClearChanged();
    EXPECT_FALSE(line.Append(5000, 1000, false));
    EXPECT_FALSE(line.Append(5000, 1000, true));
    EXPECT_FALSE(line.InsertAt(0, 0, 5000, 0, 1000));
    EXPECT_EQ(line.Count(), CTimeLine::kMaxItems);
    EXPECT_EQ(line.Item(0)->track, 0);
    EXPECT_FALSE(line.Changed()) << "a refused item changes nothing";
    EXPECT_EQ(line.Item(CTimeLine::kMaxItems), nullptr);
}

TEST(TimeLine, RemoveAtKeepsThePlayingItemOnItsDeck)
{
    struct Case {
        int current;
        int removed;
        int currentAfter;
        int32_t currentTrack; // the item playing after the removal
    } const cases[] = {
        {1, 3, 1, 101}, // before the removed item: the items after it alternate again
        {3, 1, 2, 103}, // after it: the current index follows its item
        {2, 2, 1, 101}, // the playing item itself: the one before becomes current
        {0, 0, 0, 101}, // the first item playing and removed: the index stays at 0
        {4, 4, 3, 103},
    };
    for (const Case& c : cases) {
        CTimeLine line;
        Fill(line, {200000, 180000, 190000, 210000, 220000});
        line.SetCurrentIndex(c.current);
        const int32_t deckBefore = line.Item(c.current)->deck;
        const int32_t removedDisplay = line.Item(c.removed)->displayLength;
        const int32_t laterStart = c.removed + 1 < 5 ? line.Item(c.removed + 1)->start : 0;

        ASSERT_TRUE(line.RemoveAt(c.removed, true));
        EXPECT_EQ(line.Count(), 4);
        EXPECT_EQ(line.CurrentIndex(), c.currentAfter) << "current " << c.current << " removed " << c.removed;
        EXPECT_EQ(line.Item(c.currentAfter)->track, c.currentTrack);
        if (c.current != c.removed) {
            EXPECT_EQ(line.Item(c.currentAfter)->deck, deckBefore) << "the playing deck changed";
        }
        if (c.removed < 4) {
            EXPECT_EQ(line.Item(c.removed)->start, laterStart - removedDisplay);
        }
        EXPECT_TRUE(LaidOut(line)) << "current " << c.current << " removed " << c.removed;
    }
}

TEST(TimeLine, RemoveTrackRemovesEveryItemOfIt)
{
    CTimeLine line;
    line.SetDisplayMode(CTimeLine::kAtLeastMin);
    for (const int32_t track : {7, 8, 7, 9, 7})
        line.Append(track, 200000, false);
    EXPECT_EQ(line.RemoveTrack(7, true), 3);
    EXPECT_EQ(Tracks(line), (std::vector<int32_t>{8, 9}));
    EXPECT_TRUE(LaidOut(line));
    int index = -1;
    EXPECT_FALSE(line.FindTrack(7, index));
    EXPECT_TRUE(line.FindTrack(9, index));
    EXPECT_EQ(index, 1);
}

TEST(TimeLine, MoveKeepsThePlayingItemCurrentAndOnItsDeck)
{
    struct Case {
        int32_t track;
        int to;
        std::vector<int32_t> order;
        int currentAfter;
    } const cases[] = {
        {104, 0, {104, 100, 101, 102, 103}, 3}, // from after the current item to before it
        {100, 4, {101, 102, 103, 104, 100}, 1}, // from before to after
        {100, 1, {101, 100, 102, 103, 104}, 2}, // both before: the current item does not shift
        {102, 0, {102, 100, 101, 103, 104}, 0}, // the playing item itself
        {103, 4, {100, 101, 102, 104, 103}, 2},
    };
    for (const Case& c : cases) {
        CTimeLine line;
        Fill(line, {200000, 180000, 190000, 210000, 220000});
        line.SetCurrentIndex(2);
        const int32_t playingDeck = line.Item(2)->deck;
        ASSERT_TRUE(line.Move(c.track, c.to));
        EXPECT_EQ(Tracks(line), c.order) << "moving " << c.track << " to " << c.to;
        EXPECT_EQ(line.CurrentIndex(), c.currentAfter);
        EXPECT_EQ(line.Item(c.currentAfter)->track, 102);
        EXPECT_EQ(line.Item(c.currentAfter)->deck, playingDeck);
        EXPECT_TRUE(LaidOut(line));
    }
    CTimeLine line;
    Fill(line, {1000});
    EXPECT_FALSE(line.Move(555, 0));
    EXPECT_FALSE(line.Move(100, 1));
}

TEST(TimeLine, CurrentAndNextAtAndAfterTheLastItem)
{
    CTimeLine line;
    Fill(line, {200000, 180000, 190000});
    line.SetCurrentIndex(1);
    TimeLineCursor cursor = line.CurrentAndNext();
    EXPECT_EQ(cursor.index, 1);
    EXPECT_EQ(cursor.deck, 1);
    EXPECT_EQ(cursor.track, 101);
    EXPECT_EQ(cursor.nextDeck, 0);
    EXPECT_EQ(cursor.nextTrack, 102);

    line.SetCurrentIndex(2);
    cursor = line.CurrentAndNext();
    EXPECT_EQ(cursor.track, 102);
    EXPECT_EQ(cursor.nextDeck, 1) << "after the last item the other deck comes next";
    EXPECT_EQ(cursor.nextTrack, -1);

    line.SetCurrentIndex(3);
    EXPECT_EQ(line.CurrentAndNext().index, -1);
    line.Clear();
    EXPECT_EQ(line.CurrentAndNext().index, -1);
}

TEST(TimeLine, ElapsedAndTotalRealTimeInTheAutomixForms)
{
    for (const int mode : {CTimeLine::kAtLeastMin, CTimeLine::kFixed}) {
        CTimeLine line;
        // 100 s (drawn 170 s), 340 s (drawn 340 s or 170 s), 60 s.
        Fill(line, {100000, 340000, 60000}, mode);
        const TimeLineItem& second = *line.Item(1);
        line.SetCurrentIndex(1);
        line.SetPosition(static_cast<uint32_t>(second.start + second.displayLength / 4));
        EXPECT_EQ(line.ElapsedRealTime(), 100000 + 85000) << "mode " << mode;
        // A position before the current block adds nothing for it.
        line.SetPosition(static_cast<uint32_t>(second.start - 1000));
        EXPECT_EQ(line.ElapsedRealTime(), 100000);
        EXPECT_EQ(line.TotalRealTime(), 500000);
        line.SetCurrentIndex(3);
        EXPECT_EQ(line.ElapsedRealTime(), 500000) << "past the end everything has played";
    }
    CTimeLine empty;
    empty.SetDisplayMode(CTimeLine::kAtLeastMin);
    empty.SetPosition(5000);
    EXPECT_EQ(empty.ElapsedRealTime(), 0);
    EXPECT_EQ(empty.TotalRealTime(), 0);
}

TEST(TimeLine, ElapsedAndTotalRealTimeForAMix)
{
    CTimeLine line;
    line.SetDisplayMode(CTimeLine::kRealLengths);
    // Blocks of a mix overlap where the decks were blended.
    ASSERT_TRUE(line.InsertAt(0, 0, 1, 0, 200000));
    ASSERT_TRUE(line.InsertAt(1, 1, 2, 180000, 150000));
    ASSERT_TRUE(line.InsertAt(1, 1, 3, 90000, 20000));
    EXPECT_EQ(Tracks(line), (std::vector<int32_t>{1, 3, 2}));
    EXPECT_EQ(line.TotalRealTime(), 330000);
    line.SetPosition(123456);
    EXPECT_EQ(line.ElapsedRealTime(), 123456);
}

TEST(TimeLine, ShuffleUsesTheGivenRandomSource)
{
    struct Case {
        int value; // every draw
        std::vector<int32_t> order;
    } const cases[] = {
        {0, {103, 100, 101, 102}},     // item i swapped with the first
        {32767, {103, 100, 101, 102}}, // item i swapped with the last
        {16384, {101, 103, 100, 102}}, // r just above one half: always index 1
    };
    for (const Case& c : cases) {
        CTimeLine line;
        Fill(line, {200000, 180000, 190000, 210000});
        line.Shuffle([&] { return c.value; });
        EXPECT_EQ(Tracks(line), c.order) << "draw " << c.value;
        EXPECT_EQ(line.Item(0)->deck, 0);
        EXPECT_TRUE(LaidOut(line));
    }

    // Two runs from the same seed give the same order, and every track stays once.
    std::vector<int32_t> orders[2];
    for (auto& order : orders) {
        CTimeLine line;
        Fill(line, std::vector<int32_t>(50, 200000));
        std::mt19937 random(42);
        line.Shuffle([&] { return static_cast<int>(random() % 32768); });
        order = Tracks(line);
    }
    EXPECT_EQ(orders[0], orders[1]);
    std::vector<int32_t> sorted = orders[0];
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(sorted[static_cast<size_t>(i)], 100 + i);
    EXPECT_NE(orders[0], sorted);
}

TEST(TimeLine, AppendWithRelayoutRealternatesFromTheFirstItem)
{
    CTimeLine line;
    line.SetDisplayMode(CTimeLine::kAtLeastMin);
    line.InsertAt(0, 1, 50, 0, 200000);
    line.InsertAt(1, 1, 51, 999, 200000);
    ASSERT_TRUE(line.Append(52, 180000, true));
    EXPECT_EQ(line.Item(0)->deck, 1);
    EXPECT_EQ(line.Item(1)->deck, 0);
    EXPECT_EQ(line.Item(2)->deck, 1);
    EXPECT_TRUE(LaidOut(line));
}
