// Runs against ALSA's "default" PCM served by the PulseAudio null sink that the ctest fixture
// starts (pulse-server.sh): a device that plays in real time without a sound card.
#include "AlsaOutput.h"
#include "OutputDeviceInfo.h"
#include "OutputManager.h"
#include "OutputTestSupport.h"
#include "TempDir.h"
#include "WavRecorderOutput.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

int PulseServer(const char* action, const std::string& dir)
{
    return std::system(("bash " QUANDEL_PULSE_SCRIPT " " + std::string(action) + " " + dir).c_str());
}

uint32_t LittleEndian32(const std::vector<uint8_t>& bytes, size_t at)
{
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
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

TEST(AlsaPacing, ServerGoingAwayMidPlayStopsTheRunAndTheManagerClosesAFinishedRecording)
{
    // A server of its own: stopping the shared one would pull it from under the other tests.
    CTempDir dir;
    const std::string serverDir = dir.Path("pulse");
    ASSERT_EQ(PulseServer("start", serverDir), 0);
    CEnvOverride server("PULSE_SERVER", "unix:" + serverDir + "/native");

    COutputManager manager;
    COutputDeviceInfo record;
    record.device = 0;
    record.blockFrames = 1024;
    record.mainGroupMask = 1;
    auto* driver = static_cast<CAlsaOutput*>(manager.OpenMaster(record));
    ASSERT_NE(driver, nullptr);
    COutputDeviceInfo recorderRecord;
    recorderRecord.device = 768;
    recorderRecord.mainGroupMask = 1;
    auto* recorder = static_cast<CWavRecorderOutput*>(manager.AttachSecondary(recorderRecord));
    ASSERT_NE(recorder, nullptr);
    const std::string path = dir.Path("lost.wav");
    ASSERT_EQ(recorder->StartRecording(path.c_str(), 0, 0), 0);
    recorder->SetWriting(true);
    CCodeClient client;
    ClientRecord flags;
    ASSERT_EQ(manager.Start(client, flags), 0);
    // Past the server's start-up: the device really plays when it goes away.
    EXPECT_TRUE(WaitUntil([&] { return client.FramesRendered() >= 3 * 44100; }, std::chrono::seconds(30)));
    uint32_t before = 0;
    EXPECT_EQ(driver->GetPosition(before), 0);

    ASSERT_EQ(PulseServer("stop", serverDir), 0);
    EXPECT_TRUE(WaitUntil([&] { return !manager.Running(); }, std::chrono::seconds(30)));
    EXPECT_TRUE(driver->Pacer().DeviceLost());
    EXPECT_EQ(flags.flags & 1, 0) << "the client was told the run stopped";
    const uint32_t rendered = client.FramesRendered();
    manager.Close();
    EXPECT_EQ(manager.Master(), nullptr);
    EXPECT_EQ(manager.Secondary(0), nullptr);
    EXPECT_EQ(client.FramesRendered(), rendered) << "nothing rendered after the run stopped";
    EXPECT_GT(before, 0u);

    // The recording holds every block rendered, with its header patched.
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(bytes.size(), 44u + rendered * 4u);
    EXPECT_EQ(LittleEndian32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(LittleEndian32(bytes, 40), rendered * 4u);
}
