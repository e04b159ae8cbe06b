// Runs against ALSA's "default" PCM served by the PulseAudio null sink that the ctest fixture
// starts (pulse-server.sh): a device that plays in real time without a sound card.
#include "AlsaOutput.h"
#include "OutputDeviceInfo.h"
#include "OutputManager.h"
#include "OutputTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Frames rendered per second between 1 s and 4 s after the first block, from the time each
// block was asked for; the server's start-up delay falls before the window.
double MeasuredRate(const std::vector<Clock::time_point>& times, uint32_t blockFrames)
{
    const auto start = times.front();
    size_t first = 0;
    while (first < times.size() && times[first] - start < std::chrono::seconds(1))
        ++first;
    size_t last = first;
    while (last + 1 < times.size() && times[last + 1] - start <= std::chrono::seconds(4))
        ++last;
    const double seconds = std::chrono::duration<double>(times[last] - times[first]).count();
    return seconds > 0 ? (last - first) * blockFrames / seconds : 0;
}

} // namespace

TEST(AlsaPacing, DefaultPcmThroughTheSoundServerPlaysAtTheSampleRate)
{
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr) << "run through ctest: its fixture starts the server";
    constexpr uint32_t kBlock = 1024;
    constexpr size_t kBlocks = 5 * 44100 / kBlock + 2;
    std::vector<Clock::time_point> times;
    times.reserve(kBlocks + 64);
    COutputManager manager;
    COutputDeviceInfo record;
    record.device = 0;
    record.blockFrames = kBlock;
    record.mainGroupMask = 1;
    auto* driver = static_cast<CAlsaOutput*>(manager.OpenMaster(record));
    ASSERT_NE(driver, nullptr);
    CCodeClient client;
    client.duringRender = [&] {
        if (times.size() < times.capacity())
            times.push_back(Clock::now());
    };
    ClientRecord flags;
    ASSERT_EQ(manager.Start(client, flags), 0);
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (client.Blocks() < kBlocks && Clock::now() < deadline)
        std::this_thread::yield();
    uint32_t position = 0;
    EXPECT_EQ(driver->GetPosition(position), 0);
    const uint32_t rendered = client.FramesRendered();
    const uint32_t underruns = driver->Underruns();
    const bool realTime = driver->Pacer().RealTime();
    manager.Stop();
    manager.Close();

    ASSERT_GE(times.size(), kBlocks);
    const double rate = MeasuredRate(times, kBlock);
    std::printf("measured %.1f frames/s, underruns %u, position %u of %u rendered, real-time %d\n", rate,
                underruns, position, rendered, realTime ? 1 : 0);
    EXPECT_NEAR(rate, 44100.0, 44100.0 * 0.02);
    // Two blocks are queued: what is audible trails what was rendered by about that much.
    EXPECT_LE(position, rendered);
    EXPECT_GE(position + 4 * kBlock, rendered);
}
