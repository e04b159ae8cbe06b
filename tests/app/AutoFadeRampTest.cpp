#include "AutoFadeRamp.h"

#include <gtest/gtest.h>

namespace {
constexpr double kTickMs = 128000.0 / 44100.0;
}

TEST(AutoFadeRamp, FadeCrossesTheFaderInItsDurationAndStopsAtTheTarget)
{
    CAutoFadeRamp ramp;
    ramp.Start(0.0f, 255, 2.0);
    int ticks = 0;
    float last = 0.0f;
    while (ramp.Active() && ticks < 10000) {
        ASSERT_TRUE(ramp.Advance(kTickMs));
        ASSERT_GE(ramp.Value(), last);
        last = ramp.Value();
        ++ticks;
    }
    // 2 s of ticks, give or take the last partial one.
    EXPECT_NEAR(ticks, 2000.0 / kTickMs, 1.0);
    EXPECT_EQ(ramp.Value(), 255.0f);
    EXPECT_FALSE(ramp.Advance(kTickMs));

    ramp.Start(255.0f, 0, 0.0); // no fade time: lands at once
    EXPECT_TRUE(ramp.Advance(kTickMs));
    EXPECT_EQ(ramp.Value(), 0.0f);
    EXPECT_FALSE(ramp.Active());
}

TEST(AutoFadeRamp, PauseWaitsThenJumps)
{
    CAutoFadeRamp ramp;
    ramp.Start(0.0f, 255, -1.0);
    int ticks = 0;
    while (ramp.Active()) {
        ramp.Advance(kTickMs);
        if (ramp.Active()) {
            EXPECT_EQ(ramp.Value(), 0.0f);
        }
        ++ticks;
    }
    EXPECT_NEAR(ticks, 1000.0 / kTickMs, 1.0);
    EXPECT_EQ(ramp.Value(), 255.0f);
}

TEST(AutoFadeRamp, FreezeStaysAndCompleteJumpsToTheTarget)
{
    CAutoFadeRamp ramp;
    ramp.Start(255.0f, 0, 1.0);
    for (int i = 0; i < 100; ++i)
        ramp.Advance(kTickMs);
    const float where = ramp.Value();
    ramp.Freeze();
    EXPECT_FALSE(ramp.Active());
    EXPECT_EQ(ramp.Value(), where);
    EXPECT_EQ(ramp.Target(), static_cast<int>(where));
    ramp.Start(where, 255, 1.0);
    ramp.Complete();
    EXPECT_FALSE(ramp.Active());
    EXPECT_EQ(ramp.Value(), 255.0f);
}
