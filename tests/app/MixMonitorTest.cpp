#include "MixMonitor.h"

#include "ControlTable.h"

#include <gtest/gtest.h>

namespace {

void Set(CControlTable& controls, int32_t id, int channel, int32_t value)
{
    controls.SetValue(id, channel, value, Marks::ChangedAndApply);
}

} // namespace

TEST(MixMonitor, DeckIsHeardOnlyWithVolumeAndItsSideOfTheCrossFader)
{
    CControlTable controls;
    CMixMonitor monitor;
    Set(controls, ControlId::XFader, 0, 0);
    monitor.Update(controls);
    EXPECT_TRUE(monitor.Audible(0));
    EXPECT_FALSE(monitor.Audible(1));
    Set(controls, ControlId::XFader, 0, 255);
    monitor.Update(controls);
    EXPECT_FALSE(monitor.Audible(0));
    EXPECT_TRUE(monitor.Audible(1));
    // 2 x 128 is exactly 256: not more than one step, so not heard.
    Set(controls, ControlId::XFader, 0, 128);
    Set(controls, ControlId::DeckVolume, 1, 2);
    Set(controls, ControlId::DeckVolume, 0, 3);
    monitor.Update(controls);
    EXPECT_FALSE(monitor.Audible(1));
    EXPECT_TRUE(monitor.Audible(0)); // 3 x 127 = 381
}

TEST(MixMonitor, ActivityIsKeptUntilTakenAndVolumeCountsOnlyWhileMoving)
{
    CControlTable controls;
    CMixMonitor monitor;
    monitor.Update(controls);
    EXPECT_EQ(monitor.TakeActivity(0), 0u) << "every control at rest";
    Set(controls, ControlId::DeckEqLowKill, 1, 1);
    Set(controls, ControlId::DeckReverse, 1, 1);
    monitor.Update(controls);
    Set(controls, ControlId::DeckReverse, 1, 0);
    monitor.Update(controls);
    EXPECT_EQ(monitor.TakeActivity(1), (1u << CMixMonitor::kEqualizer) | (1u << CMixMonitor::kReverse))
        << "a reverse seen between two looks still lights its lamp";
    EXPECT_EQ(monitor.TakeActivity(1), 0u);
    monitor.Update(controls);
    EXPECT_EQ(monitor.TakeActivity(1), 1u << CMixMonitor::kEqualizer);

    Set(controls, ControlId::DeckVolume, 0, 90);
    monitor.Update(controls);
    EXPECT_EQ(monitor.TakeActivity(0), 1u << CMixMonitor::kVolume);
    monitor.Update(controls);
    EXPECT_EQ(monitor.TakeActivity(0), 0u) << "a volume left where it was is no activity";

    Set(controls, ControlId::DeckPitch, 0, 2100);
    Set(controls, ControlId::DeckWind, 0, 140);
    Set(controls, ControlId::DeckScratchOn, 0, 1);
    Set(controls, ControlId::DeckCueLoop, 0, 1);
    monitor.Update(controls);
    EXPECT_EQ(monitor.TakeActivity(0), (1u << CMixMonitor::kPitchShift) | (1u << CMixMonitor::kPitchBend) |
                                           (1u << CMixMonitor::kScratching) | (1u << CMixMonitor::kLooping));
    EXPECT_EQ(monitor.Values(0).pitch, 2100);
    EXPECT_EQ(monitor.Values(0).cueLoop, 1);
    EXPECT_EQ(monitor.Values(1).pitch, 2048);
}
