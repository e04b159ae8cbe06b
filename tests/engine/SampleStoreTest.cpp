#include "SampleStore.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint32_t kBlock = 1024;

// Writes blocks [first, first + count) of a frame-code signal and commits them as a plan would.
void Decode(CSampleStore& store, int32_t minimum, int32_t maximum)
{
    int32_t first = -1;
    const int32_t count = store.Plan(minimum, maximum, first);
    std::vector<int16_t> left(kBlock), right(kBlock);
    for (int32_t b = first; b < first + count; ++b) {
        for (uint32_t i = 0; i < kBlock; ++i) {
            const uint32_t frame = static_cast<uint32_t>(b) * kBlock + i;
            left[i] = static_cast<int16_t>(frame % 30000);
            right[i] = static_cast<int16_t>(-(frame % 30000));
        }
        store.PutBlock(b, left.data(), right.data());
    }
    store.Commit();
}

} // namespace

TEST(SampleStore, ReadGivesDecodedFramesAndSilenceOutsideTheWindow)
{
    CSampleStore store;
    store.Init(44100, kBlock, 100, 0.2f);
    Decode(store, 8, 30); // blocks 0..29
    ASSERT_EQ(store.WindowStart(), 0);
    ASSERT_EQ(store.WindowEnd(), 30);

    std::vector<int16_t> left(200), right(200);
    store.SetPlayPosition(30 * kBlock - 100);
    EXPECT_EQ(store.Read(200, left.data(), right.data()), 0);
    for (uint32_t i = 0; i < 100; ++i) {
        EXPECT_EQ(left[i], static_cast<int16_t>((30 * kBlock - 100 + i) % 30000));
        EXPECT_EQ(right[i], -left[i]);
    }
    for (uint32_t i = 100; i < 200; ++i)
        EXPECT_EQ(left[i], 0) << "frame beyond the window end must be silent";
    EXPECT_EQ(store.PlayPosition(), 30 * kBlock + 100);

    // Backwards from inside the window: the frame at the position first, then each before it.
    store.SetDirection(true);
    store.SetPlayPosition(5000);
    store.Read(10, left.data(), right.data());
    for (uint32_t i = 0; i < 10; ++i)
        EXPECT_EQ(left[i], static_cast<int16_t>(5000 - i));
    EXPECT_EQ(store.PlayPosition(), 4990u);

    // Backwards at frame 0: silence, the position stays.
    store.SetPlayPosition(0);
    EXPECT_EQ(store.Read(10, left.data(), right.data()), 0);
    EXPECT_EQ(left[0], 0);
    EXPECT_EQ(store.PlayPosition(), 0u);
}

TEST(SampleStore, ReadStopsAtTheEndOfTheTrackAndReportsIt)
{
    CSampleStore store;
    store.Init(44100, kBlock, 4, 0.2f);
    Decode(store, 1, 100);
    std::vector<int16_t> left(300), right(300);
    store.SetPlayPosition(4 * kBlock - 100);
    EXPECT_EQ(store.Read(300, left.data(), right.data()), 1);
    EXPECT_EQ(store.PlayPosition(), 4 * kBlock);
}

TEST(SampleStore, BehindTheWindowStartIsSilenceNotStaleRingFrames)
{
    // A window that slid past the start of the track leaves old frames in the ring under
    // other track positions; reading there must not play them.
    CSampleStore store;
    store.Init(44100, kBlock, 3000, 0.2f);
    for (int step = 0; step < 40; ++step) {
        store.SetPlayPosition(static_cast<uint32_t>(step) * 30 * kBlock);
        Decode(store, 8, 300);
    }
    ASSERT_GT(store.WindowStart(), 0);
    std::vector<int16_t> left(64, 1), right(64, 1);
    store.SetPlayPosition(static_cast<uint32_t>(store.WindowStart()) * kBlock - 1000);
    store.Read(64, left.data(), right.data());
    for (int16_t sample : left)
        EXPECT_EQ(sample, 0);
}

TEST(SampleStore, WindowNeverExceedsTheRing)
{
    CSampleStore store;
    store.Init(44100, 1152, 5000, 0.2f);
    EXPECT_EQ(store.RingBlocks(), 910);
    EXPECT_EQ(store.AheadBlocks(), 182);
    for (uint32_t step = 0; step < 400; ++step) {
        store.SetPlayPosition(step * 1152 * 10);
        int32_t first = -1;
        store.Plan(8, 400, first);
        store.Commit();
        ASSERT_LE(store.WindowEnd() - store.WindowStart(), 910);
    }
}

TEST(SampleStore, WantsBlocksWhenAPlanWouldDecodeMoreThanTheSlack)
{
    constexpr uint32_t kSlackFrames = 32 * kBlock;
    CSampleStore store;
    store.Init(44100, kBlock, 1000, 0.2f);
    const int32_t ahead = store.AheadBlocks(); // 204
    // Plans of at most 80 blocks until the look-ahead is full.
    const auto fill = [&] {
        for (int plan = 0; plan < 6; ++plan)
            Decode(store, 1, 80);
    };
    store.SetPlayPosition(300 * kBlock);
    EXPECT_TRUE(store.WantsBlocks(kSlackFrames)) << "nothing decoded yet";
    fill();
    ASSERT_EQ(store.WindowEnd(), 300 + ahead);
    EXPECT_FALSE(store.WantsBlocks(kSlackFrames));
    store.SetPlayPosition(332 * kBlock);
    EXPECT_FALSE(store.WantsBlocks(kSlackFrames)) << "exactly the slack used";
    store.SetPlayPosition(333 * kBlock);
    EXPECT_TRUE(store.WantsBlocks(kSlackFrames));
    EXPECT_FALSE(store.WantsBlocks(40 * kBlock));
    fill();
    EXPECT_FALSE(store.WantsBlocks(kSlackFrames));
    // Outside the window, behind it or beyond it.
    store.SetPlayPosition(10 * kBlock);
    EXPECT_TRUE(store.WantsBlocks(kSlackFrames));
    store.SetPlayPosition(900 * kBlock);
    EXPECT_TRUE(store.WantsBlocks(kSlackFrames));
    // At the end of the track nothing more can be decoded.
    fill();
    ASSERT_EQ(store.WindowEnd(), 1000);
    store.SetPlayPosition(999 * kBlock);
    EXPECT_FALSE(store.WantsBlocks(kSlackFrames));
    // Backwards the blocks before the position count, down to the track's start.
    store.SetDirection(true);
    EXPECT_TRUE(store.WantsBlocks(kSlackFrames));
    fill();
    EXPECT_FALSE(store.WantsBlocks(kSlackFrames));
    store.SetPlayPosition(960 * kBlock);
    EXPECT_TRUE(store.WantsBlocks(kSlackFrames));
    store.SetPlayPosition(100 * kBlock);
    fill();
    ASSERT_EQ(store.WindowStart(), 0);
    store.SetPlayPosition(kBlock);
    EXPECT_FALSE(store.WantsBlocks(kSlackFrames));
}

TEST(SampleStore, OverviewStaysBoundedAtVeryLowSampleRates)
{
    // Below about 3770 Hz the overview's 600 Hz smoothing would overshoot and grow without bound.
    CSampleStore store;
    store.Init(1500, kBlock, 64, 0.2f);
    std::vector<int16_t> left(kBlock), right(kBlock);
    for (int32_t b = 0; b < 64; ++b) {
        for (uint32_t i = 0; i < kBlock; ++i)
            left[i] = right[i] = (i / 2) % 2 ? 32767 : -32768;
        store.PutBlock(b, left.data(), right.data());
    }
    int32_t first = -1;
    store.Plan(1, 64, first);
    store.Commit();
    std::vector<CSampleStore::OverviewPair> pairs(60);
    store.ReadOverview(0, pairs.data(), 60, 1.0f);
    for (const auto& pair : pairs) {
        EXPECT_LE(pair.high, 127);
        EXPECT_GE(pair.low, -128);
        EXPECT_GE(pair.high, pair.low);
    }
}
