#include "ControlTable.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(ControlTable, HoldsEveryFunctionOnceWithItsDefaultsAndBothMarks)
{
    CControlTable table;
    ASSERT_EQ(table.Count(), 41u);
    EXPECT_EQ(table.At(0).Name(), "RUN-STOP");
    EXPECT_EQ(table.At(1).Name(), "X-Fader");
    EXPECT_EQ(table.At(table.Count() - 1).Name(), "Deck Wind");
    std::set<int32_t> ids;
    for (size_t i = 0; i < table.Count(); ++i) {
        const CControlFunction& f = table.At(i);
        EXPECT_TRUE(ids.insert(f.Id()).second) << "duplicate id " << f.Id();
        EXPECT_EQ(table.FindFunction(f.Id()), &f) << "found by its id: " << f.Name();
        EXPECT_TRUE(f.ChannelCount() == 0 || f.ChannelCount() == 2) << f.Name();
        for (int c = 0; c < CControlFunction::kChannels; ++c) {
            EXPECT_EQ(f.Value(c), f.Default()) << f.Name();
            EXPECT_EQ(f.Flags(c), 3) << f.Name();
        }
    }
    EXPECT_EQ(table.GetValue(ControlId::DeckPitch, 1), 2048);
    EXPECT_EQ(table.GetValue(ControlId::DeckVolume, 0), 191);
    EXPECT_EQ(table.GetValue(ControlId::DeckScratch, 0), 32768);
    EXPECT_EQ(table.FindFunction(ControlId::DeckScratch)->Maximum(), 65536);
    EXPECT_EQ(table.GetValue(ControlId::MonitorOutputMode, 0), 2);
}

TEST(ControlTable, UnknownIdsAndChannelsChangeNothing)
{
    CControlTable table;
    table.SetValue(4711, 0, 99, Marks::ChangedAndApply);
    EXPECT_EQ(table.GetValue(4711, 0), 0);
    EXPECT_EQ(table.FindFunction(4711), nullptr);
    EXPECT_EQ(table.FindFunction(-1), nullptr);
    EXPECT_EQ(table.FindFunction(0), nullptr);
    EXPECT_EQ(table.FindFunction(ControlId::RunStop - 1), nullptr);
    // The internal Mix-File functions exist but are not in the table.
    EXPECT_EQ(table.FindFunction(ControlId::MixTrackEntry), nullptr);
    ASSERT_NE(table.Internal(ControlId::MixCuePointsB), nullptr);
    EXPECT_EQ(table.Internal(ControlId::MixCuePointsB)->ChannelCount(), 5);
    EXPECT_EQ(table.Internal(ControlId::MixCuePointsB)->Maximum(), -1);
    EXPECT_TRUE(table.Internal(ControlId::MixPlayPosition)->Name().empty());
    EXPECT_EQ(table.Internal(1023), nullptr);
    // Channels are taken as 0..255; only 0..15 hold values.
    table.SetValue(ControlId::DeckPitch, 256 + 1, 100, Marks::ChangedAndApply);
    EXPECT_EQ(table.GetValue(ControlId::DeckPitch, 1), 100);
    table.SetValue(ControlId::DeckPitch, 200, 7, Marks::ChangedAndApply);
    EXPECT_EQ(table.GetValue(ControlId::DeckPitch, 200), 0);
}

TEST(ControlTable, MarksAreSetAsAskedAndTakenOnce)
{
    CControlTable table;
    CControlFunction& pitch = *table.FindFunction(ControlId::DeckPitch);
    pitch.TakeApplyPending(0);
    pitch.TakeChanged(0);
    table.SetValue(ControlId::DeckPitch, 0, 1000, Marks::Changed);
    EXPECT_EQ(pitch.Flags(0), CControlFunction::kChanged);
    EXPECT_FALSE(pitch.TakeApplyPending(0));
    table.SetValue(ControlId::DeckPitch, 0, 1001, Marks::Apply);
    EXPECT_TRUE(pitch.TakeApplyPending(0));
    EXPECT_FALSE(pitch.TakeApplyPending(0));
    EXPECT_TRUE(pitch.TakeChanged(0));
    EXPECT_EQ(pitch.Flags(1), 3) << "the other deck keeps its marks";
}

TEST(ControlTable, DeckResetPutsTheLoadListBackButKeepsTheRest)
{
    CControlTable table;
    for (int32_t id : {ControlId::DeckPitch, ControlId::DeckEqHighKill, ControlId::DeckStartStop,
                       ControlId::DeckMute, ControlId::DeckPunchIn, ControlId::DeckBpmSync})
        table.SetValue(id, 1, 1, Marks::ChangedAndApply);
    table.SetValue(ControlId::DeckPitch, 0, 1, Marks::ChangedAndApply);
    table.ResetDeckFunctions(1);
    EXPECT_EQ(table.GetValue(ControlId::DeckPitch, 1), 2048);
    EXPECT_EQ(table.GetValue(ControlId::DeckEqHighKill, 1), 0);
    EXPECT_EQ(table.GetValue(ControlId::DeckStartStop, 1), 0);
    EXPECT_EQ(table.GetValue(ControlId::DeckBpmSync, 1), 0);
    // Mute and punch-in are the mixer's, not the track's: they stay.
    EXPECT_EQ(table.GetValue(ControlId::DeckMute, 1), 1);
    EXPECT_EQ(table.GetValue(ControlId::DeckPunchIn, 1), 1);
    EXPECT_EQ(table.GetValue(ControlId::DeckPitch, 0), 1) << "the other deck is untouched";
}

TEST(ControlTable, WriteBackNeverOverwritesAValueStoredMeanwhile)
{
    CControlTable table;
    CControlFunction& seek = *table.FindFunction(ControlId::DeckSeekPosition);
    const int32_t read = seek.Value(0);
    table.SetValue(ControlId::DeckSeekPosition, 0, 3000, Marks::ChangedAndApply); // the user, in between
    EXPECT_FALSE(seek.CompareAndSet(0, read, 1234, Marks::Changed));
    EXPECT_EQ(seek.Value(0), 3000);
    EXPECT_TRUE(seek.TakeApplyPending(0)) << "the user's seek is still to be applied";
    EXPECT_TRUE(seek.CompareAndSet(0, 3000, 1234, Marks::Changed));
    EXPECT_EQ(seek.Value(0), 1234);
    EXPECT_FALSE(seek.TakeApplyPending(0));
}
