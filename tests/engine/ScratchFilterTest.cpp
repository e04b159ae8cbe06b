#include "ScratchFilter.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float kMaxSlope = 0.0159637f; // per tick: 1.0 in 63 ticks
constexpr float kSlopeRounding = 1e-6f; // float steps of a running sum

// Runs until the output sits at `target` and reports the ticks it took and the largest change
// in one tick.
struct Ramp {
    int ticks = 0;
    float largestStep = 0;
};

Ramp RunUntilSettled(CScratchFilter& filter, float target)
{
    Ramp ramp;
    float previous = filter.Output();
    while (filter.Output() != target && ramp.ticks < 10000) {
        const float output = filter.Run(target);
        ramp.largestStep = std::max(ramp.largestStep, std::fabs(output - previous));
        previous = output;
        ++ramp.ticks;
    }
    return ramp;
}

// Runs 20000 ticks with the hand still and returns the last tick whose speed was not exactly 0,
// checking that no output on the way is a denormal.
int TicksToRest(CScratchFilter& filter)
{
    int lastMoving = 0;
    for (int tick = 1; tick <= 20000; ++tick) {
        const float output = filter.Run(0.0f);
        EXPECT_NE(std::fpclassify(output), FP_SUBNORMAL) << tick;
        if (output != 0.0f)
            lastMoving = tick;
    }
    return lastMoving;
}
} // namespace

TEST(ScratchFilter, SpeedFollowsAtALimitedSlope)
{
    struct Case {
        float from;
        float to;
        int ticks;
    };
    // Reversing at speed 1.0 brakes and turns over in 126 ticks.
    const Case cases[] = {
        {0.0f, 1.0f, 63}, {1.0f, 0.0f, 63}, {1.0f, -1.0f, 126}, {0.0f, 3.0f, 188}, {1.0f, 1.005f, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " to " << c.to);
        CScratchFilter filter;
        filter.MarkReset();
        ASSERT_EQ(filter.Run(c.from), c.from);
        const Ramp ramp = RunUntilSettled(filter, c.to);
        EXPECT_EQ(ramp.ticks, c.ticks);
        EXPECT_LE(ramp.largestStep, kMaxSlope + kSlopeRounding);
    }
}

TEST(ScratchFilter, ResetTakesTheSpeedAtOnceForOneTick)
{
    CScratchFilter filter;
    filter.MarkReset();
    EXPECT_EQ(filter.Run(0.7f), 0.7f);
    EXPECT_NEAR(filter.Run(0.0f), 0.7f - kMaxSlope, kSlopeRounding);
}

TEST(ScratchFilter, PlatterTakesOverTheSpeedAndComesToRestUnderAStillHand)
{
    for (float speed : {1.0f, -2.5f}) {
        SCOPED_TRACE(speed);
        CScratchFilter filter;
        filter.MarkReset();
        filter.Run(speed);
        filter.Enable(true);
        const float first = filter.Run(speed); // the requested speed no longer counts
        EXPECT_GT(first / speed, 0.5f);        // the platter keeps turning the same way, slowing
        EXPECT_LT(first / speed, 1.0f);
        EXPECT_LT(TicksToRest(filter), 400);
    }
}

TEST(ScratchFilter, PushedPlatterMovesWithTheHandAndStopsAfterIt)
{
    for (float delta : {200.0f, -200.0f, 15.0f}) {
        SCOPED_TRACE(delta);
        CScratchFilter filter;
        filter.Enable(true);
        float travelled = 0;
        for (int tick = 0; tick < 30; ++tick) {
            filter.Push(delta);
            const float output = filter.Run(0.0f);
            EXPECT_GE(output * delta, 0.0f) << tick; // never against the hand
            travelled += output;
        }
        EXPECT_GT(travelled / delta, 0.05f);
        // Dragged far from where it started, the platter must still stop dead once the hand does.
        EXPECT_LT(TicksToRest(filter), 600);
    }
}

TEST(ScratchFilter, PlatterIgnoresTheRequestedSpeed)
{
    CScratchFilter still;
    CScratchFilter asked;
    still.Enable(true);
    asked.Enable(true);
    for (int tick = 0; tick < 50; ++tick) {
        still.Push(40.0f);
        asked.Push(40.0f);
        ASSERT_EQ(still.Run(0.0f), asked.Run(5.0f)) << tick;
    }
}
