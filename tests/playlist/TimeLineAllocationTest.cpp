// The audio thread reads the Time Line every tick and moves its position and current index; none
// of that may touch the heap. Whole-list changes on the user thread work inside the fixed item
// array too.
#include "AllocationCounter.h"
#include "TimeLine.h"

#include <gtest/gtest.h>

TEST(TimeLineAllocation, TickReadsAndListChangesNeverAllocate)
{
    CTimeLine line;
    line.SetDisplayMode(CTimeLine::kAtLeastMin);
    int seed = 1;
    const CTimeLine::RandomSource random = [&seed] { return seed = (seed * 1103515245 + 12345) & 0x7FFF; };

    CAllocationCounter::Start();
    for (int i = 0; i < CTimeLine::kMaxItems + 5; ++i)
        line.Append(i, 180000 + i, false);
    int64_t sum = 0;
    for (int tick = 0; tick < 2000; ++tick) {
        const TimeLineCursor cursor = line.CurrentAndNext();
        if (const TimeLineItem* item = line.Item(cursor.index))
            line.SetPosition(static_cast<uint32_t>(item->start + tick));
        sum += line.ElapsedRealTime() + line.TotalRealTime() + cursor.nextTrack;
        if (tick % 100 == 99)
            line.SetCurrentIndex(line.CurrentIndex() + 1);
    }
    line.Move(500, 3);
    line.RemoveAt(10, true);
    line.RemoveTrack(20, true);
    line.InsertAt(0, 1, 5000, 0, 1000);
    line.Shuffle(random);
    line.SetDisplayMode(CTimeLine::kFixed);
    line.Clear();
    EXPECT_EQ(CAllocationCounter::Stop(), 0);
    EXPECT_GT(sum, 0);
}
