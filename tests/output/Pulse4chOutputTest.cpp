// Runs against the PulseAudio server that the ctest fixture starts (pulse-server.sh), whose
// sink "ci_null4" has four channels: front left, front right, rear left, rear right. What the
// sink plays is recorded from its monitor with parecord.
#include "Pulse4chOutput.h"
#include "OutputDeviceInfo.h"
#include "OutputDevices.h"
#include "OutputManager.h"
#include "OutputTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

namespace {

constexpr double kRate = 44100.0;

// parecord writing the raw four-channel frames of a sink's monitor to a file.
class CMonitorRecording {
public:
    CMonitorRecording(const std::string& source, const std::string& path) : m_path(path)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const std::string device = "--device=" + source;
        const char* argv[] = {"parecord",     "--raw",      device.c_str(), "--channels=4", "--format=s16le",
                              "--rate=44100", "--no-remix", "--no-remap",   nullptr};
        if (posix_spawnp(&m_pid, "parecord", &actions, nullptr, const_cast<char**>(argv), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CMonitorRecording() { Finish(); }
    CMonitorRecording(const CMonitorRecording&) = delete;
    CMonitorRecording& operator=(const CMonitorRecording&) = delete;

    bool Running() const { return m_pid > 0; }
    size_t Bytes() const
    {
        struct stat info {};
        return stat(m_path.c_str(), &info) == 0 ? static_cast<size_t>(info.st_size) : 0;
    }
    // Ends the recording; the file then holds every frame it got.
    void Finish()
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGINT);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

private:
    std::string m_path;
    pid_t m_pid = -1;
};

// The amplitude of the tone at hz in one channel of interleaved four-channel frames.
double ToneAmplitude(const std::vector<int16_t>& frames, size_t first, size_t count, int channel, double hz)
{
    std::complex<double> sum = 0;
    for (size_t n = 0; n < count; ++n) {
        const double phase = -2 * M_PI * hz * static_cast<double>(n) / kRate;
        sum += static_cast<double>(frames[(first + n) * 4 + channel]) * std::polar(1.0, phase);
    }
    return 2 * std::abs(sum) / static_cast<double>(count);
}

} // namespace

TEST(Pulse4chOutput, TimerPeriodIsFortyPercentOfABlockCappedAt50Ms)
{
    struct Case {
        uint32_t blockFrames;
        uint32_t periodMs;
    };
    for (const Case c : {Case{4096, 37}, Case{16384, 50}, Case{2048, 18}, Case{128, 1}})
        EXPECT_EQ(CPulse4chOutput::TimerPeriodMs(c.blockFrames, 44100), c.periodMs) << c.blockFrames;
}

TEST(Pulse4chOutput, OpenRefusesWhatItCannotServe)
{
    struct Case {
        uint32_t device;
        uint32_t master;
        uint8_t bytesPerSample;
        int error;
    };
    for (const Case c : {Case{1281, 1, 2, 1}, Case{1280, 0, 2, 1}, Case{1280, 1, 1, 1005}}) {
        COutputManager manager;
        COutputDeviceInfo record;
        record.device = c.device;
        record.master = c.master;
        record.bytesPerSample = c.bytesPerSample;
        CPulse4chOutput driver;
        EXPECT_EQ(driver.Open(record, manager), c.error) << c.device << " master " << c.master;
    }
}

TEST(Pulse4chOutput, SecondaryJoinsTheMasterOfItsOwnManager)
{
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr) << "run through ctest: its fixture starts the server";
    // Two devices open on the same sink: the second master opens before the first one's
    // secondary, and never plays.
    COutputManager playing;
    COutputManager idle;
    COutputDeviceInfo records[3];
    for (COutputDeviceInfo& record : records) {
        ASSERT_EQ(GetDevice(1280, record), 0);
        record.blockFrames = 2048;
        record.mainGroupMask = 1;
    }
    auto* master = static_cast<CPulse4chOutput*>(playing.OpenMaster(records[0]));
    ASSERT_NE(master, nullptr);
    ASSERT_NE(idle.OpenMaster(records[1]), nullptr);
    records[2].secondary = 1;
    auto* secondary = static_cast<CPulse4chOutput*>(playing.AttachSecondary(records[2]));
    ASSERT_NE(secondary, nullptr);

    CToneClient client({500, 700}, {1100, 1300});
    ClientRecord flags;
    ASSERT_EQ(playing.Start(client, flags), 0);
    uint32_t masterPosition = 0;
    EXPECT_TRUE(
        WaitUntil([&] { return master->GetPosition(masterPosition) == 0 && masterPosition >= kRate / 4; },
                  std::chrono::seconds(10)));
    uint32_t secondaryPosition = 0;
    EXPECT_EQ(secondary->GetPosition(secondaryPosition), 0);
    EXPECT_GE(secondaryPosition, masterPosition) << "the secondary answers with its own master's position";
    // The idle device closes while the other plays; the playing pair goes on.
    idle.Close();
    const uint32_t blocks = client.Blocks();
    EXPECT_TRUE(WaitUntil([&] { return client.Blocks() >= blocks + 4; }, std::chrono::seconds(10)));
    EXPECT_EQ(secondary->GetPosition(secondaryPosition), 0);
    playing.Close();
}

TEST(Pulse4chOutput, MasterPlaysOnTheFrontPairAndTheSecondaryOnTheRearPair)
{
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr) << "run through ctest: its fixture starts the server";
    CTempDir dir;
    const std::string path = dir.Path("monitor.raw");
    CMonitorRecording recording("ci_null4.monitor", path);
    ASSERT_TRUE(recording.Running());
    // The idle sink plays silence, so the file grows once the recording runs.
    ASSERT_TRUE(WaitUntil([&] { return recording.Bytes() > 0; }, std::chrono::seconds(10)));

    COutputManager manager;
    COutputDeviceInfo masterRecord;
    ASSERT_EQ(GetDevice(1280, masterRecord), 0);
    masterRecord.blockFrames = 2048;
    masterRecord.mainGroupMask = 1;
    auto* master = static_cast<CPulse4chOutput*>(manager.OpenMaster(masterRecord));
    ASSERT_NE(master, nullptr);
    COutputDeviceInfo secondaryRecord;
    ASSERT_EQ(GetDevice(1280, secondaryRecord), 0);
    secondaryRecord.secondary = 1; // the list offers it as a master only
    secondaryRecord.mainGroupMask = 2;
    auto* secondary = static_cast<CPulse4chOutput*>(manager.AttachSecondary(secondaryRecord));
    ASSERT_NE(secondary, nullptr);

    CToneClient client({500, 700}, {1100, 1300});
    ClientRecord flags;
    ASSERT_EQ(manager.Start(client, flags), 0);
    // Once the sink has played the tones for a second (a null sink starts up to two seconds
    // late), half a second more of recording holds them (it trails the sink a little).
    uint32_t masterPosition = 0;
    EXPECT_TRUE(WaitUntil([&] { return master->GetPosition(masterPosition) == 0 && masterPosition >= kRate; },
                          std::chrono::seconds(10)));
    uint32_t secondaryPosition = 0;
    EXPECT_EQ(secondary->GetPosition(secondaryPosition), 0);
    const size_t bytesPlayed = recording.Bytes();
    EXPECT_TRUE(
        WaitUntil([&] { return recording.Bytes() >= bytesPlayed + static_cast<size_t>(kRate / 2) * 8; },
                  std::chrono::seconds(10)));
    manager.Close();
    recording.Finish();
    EXPECT_GE(secondaryPosition, masterPosition) << "the secondary answers with its master's position";

    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<int16_t> frames(bytes.size() / 2);
    std::memcpy(frames.data(), bytes.data(), frames.size() * 2);
    const size_t frameCount = frames.size() / 4;
    size_t first = 0;
    while (first < frameCount && std::abs(frames[first * 4]) < 1000)
        ++first;
    // A fifth of a second holds whole periods of every tone, so they do not leak into each other.
    const size_t window = static_cast<size_t>(kRate / 5);
    const size_t start = first + static_cast<size_t>(kRate * 0.3);
    ASSERT_LE(start + window, frameCount)
        << "the recording holds " << frameCount << " frames, tones from " << first;

    const double tones[4] = {500, 700, 1100, 1300};
    for (int channel = 0; channel < 4; ++channel) {
        const double own = ToneAmplitude(frames, start, window, channel, tones[channel]);
        std::printf("channel %d: %.0f Hz at %.0f;", channel + 1, tones[channel], own);
        for (int other = 0; other < 4; ++other)
            std::printf(" %.0f Hz %.1f", tones[other],
                        ToneAmplitude(frames, start, window, channel, tones[other]));
        std::printf("\n");
        EXPECT_GT(own, 4000.0) << "channel " << channel + 1;
        for (int other = 0; other < 4; ++other) {
            if (other != channel) {
                EXPECT_LT(ToneAmplitude(frames, start, window, channel, tones[other]), own / 100)
                    << "tone " << tones[other] << " Hz in channel " << channel + 1;
            }
        }
    }
}
