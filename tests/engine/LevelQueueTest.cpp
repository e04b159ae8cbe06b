#include "LevelQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

struct Pop {
    bool found;
    int32_t level;
    bool operator==(const Pop&) const = default;
};

Pop PopUntil(CLevelQueue& queue, int32_t nowMs, bool takeMaximum)
{
    int32_t level = -1;
    const bool found = queue.PopUntil(nowMs, takeMaximum, level);
    return {found, found ? level : -1};
}

} // namespace

TEST(LevelQueue, PopTakesTheDueEntriesAndLeavesTheRest)
{
    CLevelQueue queue;
    const int32_t levels[] = {10, 200, 30, 40, 250, 60};
    for (int32_t i = 0; i < 6; ++i)
        queue.Push(100 + 10 * i, levels[i]); // stamped 100, 110, ... 150

    EXPECT_EQ(PopUntil(queue, 99, true), (Pop{false, -1}));
    EXPECT_EQ(PopUntil(queue, 125, true), (Pop{true, 200})); // 100..120
    EXPECT_EQ(PopUntil(queue, 125, true), (Pop{false, -1})); // already taken
    EXPECT_EQ(PopUntil(queue, 130, false), (Pop{true, 40}));
    EXPECT_EQ(PopUntil(queue, 1000, false), (Pop{true, 60})); // the last, not the loudest
    EXPECT_EQ(PopUntil(queue, 1000, true), (Pop{false, -1}));
}

TEST(LevelQueue, ProducerThatLapsTheConsumerOverwritesTheOldest)
{
    CLevelQueue queue;
    // Entries 0..87 are certainly overwritten by 600 pushes; they are the loudest, so a single
    // one of them read would show. Entry 88 (512 back from the next write) may go either way.
    for (int32_t t = 0; t < 600; ++t)
        queue.Push(t, t <= 87 ? 255 : t == 88 ? 0 : t % 100);

    EXPECT_EQ(PopUntil(queue, 87, true), (Pop{false, -1}));
    PopUntil(queue, 88, true);
    for (int32_t t = 89; t < 600; ++t)
        ASSERT_EQ(PopUntil(queue, t, true), (Pop{true, t % 100})) << t;
}

// One thread pushes 200000 entries stamped 0, 1, 2, ... with level = stamp % 256 while this
// thread pops. Every entry before the producer's count minus 511 may be lost, so each pop asks
// for a window of 128 stamps above what is surely gone; a level then names exactly one stamp in
// that window, and the stamps seen must rise and lie in it.
TEST(LevelQueue, ConcurrentPopsSeeRisingStampsOfPushedLevels)
{
    constexpr int32_t kPushes = 200000;
    CLevelQueue queue;
    std::atomic<int32_t> pushed{0};
    std::thread producer([&] {
        for (int32_t t = 0; t < kPushes; ++t) {
            queue.Push(t, t % 256);
            pushed.store(t + 1, std::memory_order_release);
        }
    });

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int32_t lastSeen = -1; // every stamp up to here is consumed or gone
    int pops = 0;
    while (lastSeen < kPushes - 1 && std::chrono::steady_clock::now() < deadline) {
        const int32_t floor = std::max(lastSeen, pushed.load(std::memory_order_acquire) - 512);
        int32_t level = -1;
        if (!queue.PopUntil(floor + 128, false, level))
            continue;
        ++pops;
        ASSERT_TRUE(level >= 0 && level < 256) << level;
        const int32_t above = ((level - floor) % 256 + 256) % 256; // stamp = floor + above
        ASSERT_GE(above, 1) << "a stamp already consumed or lost came back, floor " << floor;
        ASSERT_LE(above, 128) << "a stamp after the asked time came out, floor " << floor;
        lastSeen = floor + above;
    }
    producer.join();
    EXPECT_EQ(lastSeen, kPushes - 1);
    EXPECT_GT(pops, 0);
}
