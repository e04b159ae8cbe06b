#include "PlayPosition.h"

#include <gtest/gtest.h>

#include <vector>

// Device counters as a device reports them, and the positions that must come out.
TEST(PlayPosition, NeverGoesBackWhenTheDeviceCounterRestarts)
{
    struct Case {
        const char* what;
        std::vector<uint32_t> device;
        std::vector<uint32_t> reported;
    };
    constexpr uint32_t kBlock = 1024;
    const Case cases[] = {
        {"steady", {0, 1000, 2048, 5000}, {0, 1000, 2048, 5000}},
        {"restart after a reset", {3000, 6000, 100, 900}, {3000, 6000, 6100, 6900}},
        {"jitter within a block is passed on", {5000, 4500, 6000}, {5000, 4500, 6000}},
        {"exactly one block back is jitter", {5000, 3976}, {5000, 3976}},
        {"two restarts", {4000, 10, 5000, 0, 20}, {4000, 4010, 9000, 9000, 9020}},
    };
    for (const Case& c : cases) {
        CPlayPosition position;
        std::vector<uint32_t> got;
        for (const uint32_t device : c.device)
            got.push_back(position.Report(device, kBlock));
        EXPECT_EQ(got, c.reported) << c.what;
    }
}

TEST(PlayPosition, ResetStartsFromZero)
{
    CPlayPosition position;
    position.Report(50000, 1024);
    position.Reset();
    EXPECT_EQ(position.Report(10, 1024), 10u);
}
