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
#include <atomic>
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

// The stretch the pacing is measured over, as indices into the readings.
struct PacingWindow {
    size_t from = 0;
    size_t to = 0;
    bool found = false;
};

// Finds, as readings arrive, the first stretch in which the device plays windowFrames without
// an interruption: an underrun, or a stall in which the ring ran dry without one being reported.
// Through a sound server the device's own count is the clock: it stands still during the
// server's start-up delay and again while the stream restarts after an underrun (some two
// seconds), so the stretch starts once settleFrames more have played since the start or the last
// interruption. One is counted a little after the ring ran dry, so the stretch only counts once
// the readings for graceFrames past its end have seen none either.
class CPacingWindowFinder {
public:
    CPacingWindowFinder(uint32_t settleFrames, uint32_t windowFrames, uint32_t graceFrames)
        : m_settleFrames(settleFrames), m_windowFrames(windowFrames), m_graceFrames(graceFrames)
    {
    }

    // Takes reading index i; true once the window is complete.
    bool Add(const std::vector<PositionReading>& readings, size_t i)
    {
        const PositionReading& reading = readings[i];
        if (i == 0 || reading.interruptions != readings[i - 1].interruptions) {
            m_base = reading.position;
            m_started = false;
            m_window.found = false;
            if (i > 0)
                ++m_discarded;
            return false;
        }
        if (!m_started) {
            if (reading.position >= m_base + m_settleFrames) {
                m_started = true;
                m_window.from = i;
            }
            return false;
        }
        const uint32_t played = reading.position - readings[m_window.from].position;
        if (!m_window.found && played >= m_windowFrames) {
            m_window.found = true;
            m_window.to = i;
        }
        return m_window.found && played >= m_windowFrames + m_graceFrames;
    }
    const PacingWindow& Window() const { return m_window; }
    // Stretches an interruption cut short.
    uint32_t Discarded() const { return m_discarded; }

private:
    uint32_t m_settleFrames;
    uint32_t m_windowFrames;
    uint32_t m_graceFrames;
    uint32_t m_base = 0; // the position at the start or the last interruption
    bool m_started = false;
    PacingWindow m_window;
    uint32_t m_discarded = 0;
};

} // namespace

TEST(AlsaPacing, DefaultPcmThroughTheSoundServerPlaysAtTheSampleRate)
{
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr) << "run through ctest: its fixture starts the server";
    constexpr uint32_t kBlock = 1024;
    constexpr uint32_t kRate = 44100;
    // A second of playing before the window, three seconds in it, a fifth of a second after.
    CPacingWindowFinder finder(kRate, 3 * kRate, kRate / 5);
    // A busy machine starves the server's stream now and then; each underrun costs the restart.
    // The ring holds two blocks: a longer wait between two blocks means it ran dry.
    constexpr auto kRingTime = std::chrono::microseconds(2 * kBlock * 1000000ull / kRate);
    constexpr auto kDeadline = std::chrono::seconds(60);
    std::vector<Clock::time_point> times; // when each block was asked for
    times.reserve(2 * 60 * kRate / kBlock);
    std::atomic<uint32_t> stalls{0};
    COutputManager manager;
    COutputDeviceInfo record;
    record.device = 0;
    record.blockFrames = kBlock;
    record.mainGroupMask = 1;
    auto* driver = static_cast<CAlsaOutput*>(manager.OpenMaster(record));
    ASSERT_NE(driver, nullptr);
    CCodeClient client;
    client.duringRender = [&] {
        const Clock::time_point now = Clock::now();
        if (!times.empty() && now - times.back() > kRingTime)
            stalls.fetch_add(1, std::memory_order_relaxed);
        if (times.size() < times.capacity())
            times.push_back(now);
    };
    ClientRecord flags;
    ASSERT_EQ(manager.Start(client, flags), 0);
    std::vector<PositionReading> readings;
    readings.reserve(60 * 1000);
    const auto deadline = Clock::now() + kDeadline;
    bool complete = false;
    while (!complete && Clock::now() < deadline && readings.size() < readings.capacity()) {
        PositionReading reading;
        reading.renderedBefore = client.FramesRendered();
        reading.interruptions = driver->Underruns() + stalls.load(std::memory_order_relaxed);
        reading.before = Clock::now();
        ASSERT_EQ(driver->GetPosition(reading.position), 0);
        reading.after = Clock::now();
        reading.renderedAfter = client.FramesRendered();
        readings.push_back(reading);
        complete = finder.Add(readings, readings.size() - 1);
        // The interval between readings; nothing waits on the pacing thread here.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const uint32_t underruns = driver->Underruns();
    const bool realTime = driver->Pacer().RealTime();
    manager.Stop();
    manager.Close();
    std::printf("underruns %u, stalls %u, %u measurements cut short by one, real-time %d\n", underruns,
                stalls.load(), finder.Discarded(), realTime ? 1 : 0);
    ASSERT_TRUE(complete) << "the device never played 3 s without an interruption within "
                          << kDeadline.count() << " s";

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

    const PacingWindow& window = finder.Window();
    const Clock::time_point windowStart = readings[window.from].after;
    const Clock::time_point windowEnd = readings[window.to].before;
    // The pacing: the times blocks were asked for in the window against their frame counts.
    std::vector<std::pair<Clock::time_point, double>> asked;
    for (size_t k = 0; k < times.size(); ++k) {
        if (times[k] >= windowStart && times[k] <= windowEnd)
            asked.emplace_back(times[k], static_cast<double>(k) * kBlock);
    }
    // The position against the time it was read, where the reading was not held up (shown).
    std::vector<std::pair<Clock::time_point, double>> played;
    // Frames rendered but not yet audible, the most and on average in the window.
    uint32_t maxLag = 0;
    double lagSum = 0;
    for (size_t i = window.from; i <= window.to; ++i) {
        const PositionReading& reading = readings[i];
        const uint32_t lag = reading.renderedBefore - std::min(reading.renderedBefore, reading.position);
        maxLag = std::max(maxLag, lag);
        lagSum += lag;
        if (reading.after - reading.before < std::chrono::milliseconds(1))
            played.emplace_back(reading.before + (reading.after - reading.before) / 2, reading.position);
    }
    ASSERT_GT(asked.size(), 100u);
    ASSERT_GT(played.size(), 100u);
    const double rate = FittedRate(asked);
    const double meanLag = lagSum / static_cast<double>(window.to - window.from + 1);
    const double positionRate = FittedRate(played);
    std::printf("window %.2f s to %.2f s after the start: blocks asked at %.1f frames/s, position advancing "
                "at %.1f frames/s, %.0f frames behind on average, %u at most\n",
                std::chrono::duration<double>(windowStart - readings.front().before).count(),
                std::chrono::duration<double>(windowEnd - readings.front().before).count(), rate,
                positionRate, meanLag, maxLag);
    EXPECT_NEAR(rate, kRate, kRate * 0.02);
    // The position's own rate is only reported: the server's first latency measurement, seconds
    // into a run, moves it back by a block or two, which the position holds through.
    // Two blocks are queued, and the server adds its own latency: what is audible trails what was
    // rendered by about three blocks. The server remeasures that latency as it goes, by a block
    // or more when the machine is busy, so single readings may trail further.
    EXPECT_LE(meanLag, 4.0 * kBlock);
    EXPECT_LE(maxLag, 8 * kBlock);
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
