#include "OutputManager.h"
#include "OfflineOutput.h"
#include "OutputDeviceInfo.h"
#include "OutputDevices.h"
#include "OutputTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

// Blocks as a driver received them.
struct Received {
    std::vector<std::vector<uint8_t>> blocks;
    std::vector<uint32_t> frames;
};

std::unique_ptr<COfflineOutput> Capturing(Received& into)
{
    return std::make_unique<COfflineOutput>(COfflineOutput::BlockHook{},
                                            [&into](const void* samples, uint32_t bytes, uint32_t frames) {
                                                const auto* p = static_cast<const uint8_t*>(samples);
                                                into.blocks.emplace_back(p, p + bytes);
                                                into.frames.push_back(frames);
                                            });
}

COutputDeviceInfo Record(uint32_t blockFrames)
{
    COutputDeviceInfo record;
    record.blockFrames = blockFrames;
    record.mainGroupMask = 1;
    return record;
}

int16_t S16At(const std::vector<uint8_t>& block, size_t sample)
{
    int16_t value;
    std::memcpy(&value, block.data() + 2 * sample, 2);
    return value;
}

} // namespace

TEST(OutputManager, BlockFramesRoundUpToWholeTicksBetweenOneAndOneHundredTwentyEight)
{
    struct Case {
        uint32_t requested;
        uint32_t frames;
        uint32_t ticks;
    };
    for (const Case c : {Case{1000, 1024, 8}, Case{20000, 16384, 128}, Case{1, 128, 1}, Case{0, 128, 1},
                         Case{128, 128, 1}, Case{129, 256, 2}, Case{16384, 16384, 128}}) {
        COutputManager manager;
        COutputDeviceInfo record = Record(c.requested);
        ASSERT_NE(manager.OpenMaster(record, std::make_unique<COfflineOutput>()), nullptr);
        EXPECT_EQ(record.blockFrames, c.frames) << c.requested;
        EXPECT_EQ(manager.TicksPerBlock(), c.ticks) << c.requested;
    }
}

TEST(OutputManager, RefusesMasterWithoutFlagAndSecondaryWithoutFlagOrMaster)
{
    COutputManager manager;
    COutputDeviceInfo recorder;
    ASSERT_EQ(GetDevice(768, recorder), 0);
    EXPECT_EQ(recorder.master, 0u);
    EXPECT_EQ(manager.OpenMaster(recorder), nullptr);
    EXPECT_EQ(manager.AttachSecondary(recorder), nullptr) << "no master yet";

    COutputDeviceInfo master = Record(1000);
    ASSERT_NE(manager.OpenMaster(master, std::make_unique<COfflineOutput>()), nullptr);
    COutputDeviceInfo noSecondary = Record(4096);
    noSecondary.secondary = 0;
    EXPECT_EQ(manager.AttachSecondary(noSecondary, std::make_unique<COfflineOutput>()), nullptr);

    std::vector<COutputDeviceInfo> records(9, Record(4096));
    for (int slot = 0; slot < COutputManager::kSecondaries; ++slot) {
        ASSERT_NE(manager.AttachSecondary(records[slot], std::make_unique<COfflineOutput>()), nullptr);
        EXPECT_EQ(records[slot].master, 0u);
        EXPECT_EQ(records[slot].blockFrames, 1024u) << "takes the master's block";
    }
    EXPECT_EQ(manager.AttachSecondary(records[8], std::make_unique<COfflineOutput>()), nullptr)
        << "slots full";
}

TEST(OutputManager, IdentifiersOutsideEveryRangeMakeNoDriver)
{
    COutputManager manager;
    for (const uint32_t id : {769u, 1000u, 1536u, 5000u, 0xFFFFFFFFu}) {
        COutputDeviceInfo record;
        record.device = id;
        EXPECT_EQ(CreateDriver(record), nullptr) << id;
        EXPECT_EQ(manager.OpenMaster(record), nullptr) << id;
    }
    EXPECT_EQ(manager.Master(), nullptr);
}

// The offline master renders on the calling thread until its hook stops it after n blocks.
struct HandDriven {
    COutputManager manager;
    Received received;
    COutputDeviceInfo record;
    COfflineOutput* master = nullptr;

    HandDriven(uint32_t blockFrames, uint32_t blocks) : record(Record(blockFrames))
    {
        auto driver = std::make_unique<COfflineOutput>(
            [this, blocks] {
                if (master->BlocksRendered() == blocks)
                    master->Stop();
            },
            [this](const void* samples, uint32_t bytes, uint32_t frames) {
                const auto* p = static_cast<const uint8_t*>(samples);
                received.blocks.emplace_back(p, p + bytes);
                received.frames.push_back(frames);
            });
        master = driver.get();
        manager.OpenMaster(record, std::move(driver));
    }
};

TEST(OutputManager, OverlappingRenderNextReturnsOneAndRendersNothing)
{
    HandDriven run(256, 3);
    CCodeClient client;
    ClientRecord flags;
    std::vector<int> nested;
    client.duringRender = [&] { nested.push_back(run.manager.RenderNext(-1)); };
    run.manager.Start(client, flags);
    EXPECT_EQ(nested, (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(client.Blocks(), 3u);
    EXPECT_EQ(run.received.blocks.size(), 3u);
    EXPECT_EQ(run.manager.GetPlayedFrames(false), 3u * 256);
}

TEST(OutputManager, EveryDriverGetsTheBlockFoldedToItsOwnFormat)
{
    struct Case {
        const char* what;
        uint32_t stereo;
        uint8_t bytesPerSample;
        uint32_t split;
        uint8_t mainMask;
        uint8_t secondMask;
        uint32_t bytesPerFrame;
        // Expected device samples of frame f on the 16-bit scale, left then right (mono: left).
        std::function<std::pair<int, int>(uint32_t)> expected;
    };
    const auto main = [](uint32_t f) { return std::pair<int, int>{MainSample(f), -MainSample(f)}; };
    const auto monitor = [](uint32_t f) { return std::pair<int, int>{MonitorSample(f), 0}; };
    const std::vector<Case> cases = {
        {"stereo 16-bit main", 1, 2, 0, 1, 0, 4, main},
        {"mono 16-bit monitor", 0, 2, 0, 2, 0, 2, monitor},
        {"mono 16-bit main cancels", 0, 2, 0, 1, 0, 2,
         [](uint32_t) {
             return std::pair<int, int>{0, 0};
         }},
        {"split monitor left, main right", 1, 2, 1, 2, 1, 4,
         [](uint32_t f) {
             return std::pair<int, int>{MonitorSample(f), 0};
         }},
        {"split main left, monitor right", 1, 2, 1, 1, 2, 4,
         [](uint32_t f) {
             return std::pair<int, int>{0, MonitorSample(f)};
         }},
        {"stereo 8-bit main", 1, 1, 0, 1, 0, 2, main},
        {"mono 8-bit monitor", 0, 1, 0, 2, 0, 1, monitor},
        {"24-bit gives nothing", 1, 3, 0, 1, 0, 0, main},
    };
    HandDriven run(384, 2);
    std::vector<COutputDeviceInfo> records(cases.size());
    std::vector<Received> received(cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        records[i].stereo = cases[i].stereo;
        records[i].bytesPerSample = cases[i].bytesPerSample;
        records[i].split = cases[i].split;
        records[i].mainGroupMask = cases[i].mainMask;
        records[i].secondGroupMask = cases[i].secondMask;
        ASSERT_NE(run.manager.AttachSecondary(records[i], Capturing(received[i])), nullptr);
    }
    // Eight slots: the last case replaces the master's own fold check below.
    CCodeClient client;
    ClientRecord flags;
    run.manager.Start(client, flags);
    ASSERT_EQ(run.received.blocks.size(), 2u);
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        ASSERT_EQ(received[i].blocks.size(), 2u) << c.what;
        for (uint32_t block = 0; block < 2; ++block) {
            const auto& bytes = received[i].blocks[block];
            EXPECT_EQ(received[i].frames[block], 384u) << c.what;
            ASSERT_EQ(bytes.size(), 384u * c.bytesPerFrame) << c.what;
            if (c.bytesPerFrame == 0)
                continue;
            const int channels = c.stereo != 0 ? 2 : 1;
            int worst = 0;
            for (uint32_t frame = 0; frame < 384; ++frame) {
                const auto [left, right] = c.expected(block * 384 + frame);
                for (int ch = 0; ch < channels; ++ch) {
                    const size_t sample = frame * channels + ch;
                    const int got =
                        c.bytesPerSample == 2 ? S16At(bytes, sample) : (bytes[sample] - 128) * 256;
                    const int want = ch == 0 ? left : right;
                    // 8-bit keeps the top byte of the sample.
                    const int tolerance = c.bytesPerSample == 2 ? 1 : 256;
                    worst = std::max(worst, std::abs(got - want) - tolerance);
                }
            }
            EXPECT_LE(worst, 0) << c.what << " block " << block;
        }
    }
    EXPECT_EQ(run.received.blocks[1], received[0].blocks[1]) << "the master folds like its twin";
}

TEST(OutputManager, TheClientLearnsWhichGroupsSomeDevicePlays)
{
    // What the client sees during a render with the master (main mix only) and, when given, a
    // stereo secondary folding mainMask (and secondMask into its right channel when split).
    const auto heardWith = [](bool secondary, uint8_t mainMask, uint8_t secondMask, uint32_t split) {
        HandDriven run(128, 1);
        COutputDeviceInfo record;
        record.stereo = 1;
        record.bytesPerSample = 2;
        record.split = split;
        record.mainGroupMask = mainMask;
        record.secondGroupMask = secondMask;
        if (secondary)
            run.manager.AttachSecondary(record, std::make_unique<COfflineOutput>());
        CCodeClient client;
        ClientRecord clientRecord;
        clientRecord.heard = 0;
        int heardDuringRender = -1;
        client.duringRender = [&] { heardDuringRender = clientRecord.heard; };
        run.manager.Start(client, clientRecord);
        return heardDuringRender;
    };
    EXPECT_EQ(heardWith(false, 0, 0, 0), 1);
    EXPECT_EQ(heardWith(true, 2, 0, 0), 3);
    // A split device adds its right channel's groups; a device that is not split does not.
    EXPECT_EQ(heardWith(true, 1, 2, 0), 1);
    EXPECT_EQ(heardWith(true, 1, 2, 1), 3);
}
