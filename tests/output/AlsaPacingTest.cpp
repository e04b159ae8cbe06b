// Runs against ALSA's "default" PCM served by the PulseAudio null sink that the ctest fixture
// starts (pulse-server.sh): a device that plays in real time without a sound card.
#include "AlsaOutput.h"
#include "OutputDeviceInfo.h"
#include "OutputManager.h"
#include "OutputTestSupport.h"
#include "TempDir.h"
#include "WavRecorderOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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
    constexpr uint32_t kRate = 44100;
    // The window is where the driver itself reports 3 s to 6 s of frames played: past the
    // server's start-up delay, however long it took, and past the first seconds in which the
    // server has not measured its latency yet and reports nothing queued.
    constexpr uint32_t kWindowFrom = 3 * kRate;
    constexpr uint32_t kWindowTo = 6 * kRate;
    constexpr auto kDeadline = std::chrono::seconds(30);
    std::vector<Clock::time_point> times; // when each block was asked for
    times.reserve(2 * 30 * kRate / kBlock);
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
    std::vector<PositionReading> readings;
    readings.reserve(30 * 1000);
    const auto deadline = Clock::now() + kDeadline;
    uint32_t position = 0;
    while (position < kWindowTo && Clock::now() < deadline && readings.size() < readings.capacity()) {
        PositionReading reading;
        reading.renderedBefore = client.FramesRendered();
        reading.before = Clock::now();
        ASSERT_EQ(driver->GetPosition(reading.position), 0);
        reading.after = Clock::now();
        reading.renderedAfter = client.FramesRendered();
        position = reading.position;
        readings.push_back(reading);
        // The interval between readings; nothing waits on the pacing thread here.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const uint32_t underruns = driver->Underruns();
    const bool realTime = driver->Pacer().RealTime();
    manager.Stop();
    manager.Close();
    ASSERT_GE(position, kWindowTo) << "the device played 6 s within " << kDeadline.count() << " s";

    // Every reading: the position never goes back and never passes the frames written.
    size_t backwards = 0;
    size_t ahead = 0;
    for (size_t i = 0; i < readings.size(); ++i) {
        backwards += i > 0 && readings[i].position < readings[i - 1].position ? 1 : 0;
        if (readings[i].position > readings[i].renderedAfter && ahead++ == 0)
            std::printf("reading %zu: position %u with %u frames rendered\n", i, readings[i].position,
                        readings[i].renderedAfter);
    }
    EXPECT_EQ(backwards, 0u);
    EXPECT_EQ(ahead, 0u);

    size_t from = 0;
    while (readings[from].position < kWindowFrom)
        ++from;
    const size_t to = readings.size() - 1;
    const Clock::time_point windowStart = readings[from].after;
    const Clock::time_point windowEnd = readings[to].before;
    // The pacing: the times blocks were asked for in the window against their frame counts.
    std::vector<std::pair<Clock::time_point, double>> asked;
    for (size_t k = 0; k < times.size(); ++k) {
        if (times[k] >= windowStart && times[k] <= windowEnd)
            asked.emplace_back(times[k], static_cast<double>(k) * kBlock);
    }
    // The position against the time it was read, where the reading was not held up.
    std::vector<std::pair<Clock::time_point, double>> played;
    uint32_t lag = 0; // frames rendered but not yet audible, the most in the window
    for (size_t i = from; i <= to; ++i) {
        const PositionReading& reading = readings[i];
        lag = std::max(lag, reading.renderedBefore - std::min(reading.renderedBefore, reading.position));
        if (reading.after - reading.before < std::chrono::milliseconds(1))
            played.emplace_back(reading.before + (reading.after - reading.before) / 2, reading.position);
    }
    ASSERT_GT(asked.size(), 100u);
    ASSERT_GT(played.size(), 100u);
    const double rate = FittedRate(asked);
    const double positionRate = FittedRate(played);
    std::printf("window %.2f s to %.2f s after the start: blocks asked at %.1f frames/s, position advancing "
                "at %.1f frames/s, at most %u frames behind; underruns %u, real-time %d\n",
                std::chrono::duration<double>(windowStart - readings.front().before).count(),
                std::chrono::duration<double>(windowEnd - readings.front().before).count(), rate,
                positionRate, lag, underruns, realTime ? 1 : 0);
    EXPECT_NEAR(rate, kRate, kRate * 0.02);
    EXPECT_NEAR(positionRate, kRate, kRate * 0.02);
    // Two blocks are queued: what is audible trails what was rendered by about that much.
    EXPECT_LE(lag, 4 * kBlock);
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
