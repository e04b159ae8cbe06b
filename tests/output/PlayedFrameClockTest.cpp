#include "PlayedFrameClock.h"

#include <gtest/gtest.h>

#include <chrono>

TEST(PlayedFrameClock, StoppedDeviceAnswersWhatWasPublished)
{
    CPlayedFrameClock clock;
    clock.SetFormat(48000, 1024);
    EXPECT_EQ(clock.Position(), 0u);
    clock.Publish(5000, false);
    EXPECT_EQ(clock.Position(), 5000u);
    EXPECT_EQ(clock.PublishedFrames(), 5000u);
}

TEST(PlayedFrameClock, PlayingDeviceRunsOnByOneBlockAtMost)
{
    CPlayedFrameClock clock;
    // A megahertz rate plays a 64-frame block in 64 microseconds, so the cap is reached soon.
    clock.SetFormat(1000000, 64);
    clock.Publish(1000, true);
    const uint32_t first = clock.Position();
    EXPECT_GE(first, 1000u);
    EXPECT_LE(first, 1064u);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    uint32_t position = first;
    while (position < 1064 && std::chrono::steady_clock::now() < deadline)
        position = clock.Position();
    EXPECT_EQ(position, 1064u);
    EXPECT_EQ(clock.Position(), 1064u);
}

TEST(PlayedFrameClock, NeverGoesBackUntilReset)
{
    CPlayedFrameClock clock;
    clock.SetFormat(44100, 1024);
    clock.Publish(9000, false);
    EXPECT_EQ(clock.Position(), 9000u);
    // A measurement that lands behind an earlier answer (a coarse device counter) is held.
    clock.Publish(8500, false);
    EXPECT_EQ(clock.Position(), 9000u);
    clock.Publish(9100, false);
    EXPECT_EQ(clock.Position(), 9100u);
    clock.Reset();
    EXPECT_EQ(clock.Position(), 0u);
    clock.Publish(10, false);
    EXPECT_EQ(clock.Position(), 10u);
}
