#include "AlsaOutput.h"
#include "Alsa4chOutput.h"
#include "AlsaDeviceList.h"
#include "OutputDeviceInfo.h"
#include "OutputDevices.h"
#include "OutputManager.h"
#include "OutputTestSupport.h"
#include "TempDir.h"
#include "WavRecorderOutput.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

namespace {

uint32_t NullIdentifier()
{
    std::vector<AlsaPcmDevice> pcms;
    AlsaDevices::ReadPlaybackPcms(pcms);
    for (uint32_t k = 0; k < pcms.size(); ++k) {
        if (pcms[k].pcmName == "null")
            return k + 1;
    }
    return 0;
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Waits until the client has rendered at least frames, or the deadline passes.
bool WaitForFrames(const CCodeClient& client, uint32_t frames, std::chrono::seconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (client.FramesRendered() < frames) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::yield();
    }
    return true;
}

// Frames among the first frames of a raw four-channel file that do not carry the group of each
// pair: group 1 is the main pair (exact), group 2 the monitor at pan 0, which the bus's pan law
// weighs 128/256 left and 129/256 right.
int BadFourChannelFrames(const std::vector<uint8_t>& bytes, uint32_t frames, int firstPairGroup,
                         int secondPairGroup)
{
    const auto pairIsBad = [](int group, uint32_t f, int16_t left, int16_t right) {
        if (group == 1)
            return left != MainSample(f) || right != -MainSample(f);
        return std::abs(left - MonitorSample(f) * 128 / 256) > 2 ||
               std::abs(right - MonitorSample(f) * 129 / 256) > 2;
    };
    int bad = 0;
    for (uint32_t f = 0; f < frames && (f + 1) * 8 <= bytes.size(); ++f) {
        int16_t s[4];
        std::memcpy(s, bytes.data() + f * 8, 8);
        bad += pairIsBad(firstPairGroup, f, s[0], s[1]) || pairIsBad(secondPairGroup, f, s[2], s[3]);
    }
    return bad;
}

} // namespace

TEST(AlsaOutput, NullPcmAsMasterFeedsTheRecorderExactlyTheBlocksRendered)
{
    const uint32_t id = NullIdentifier();
    ASSERT_NE(id, 0u);
    CTempDir dir;
    const std::string path = dir.Path("null.wav");
    COutputManager manager;
    COutputDeviceInfo master;
    master.device = id;
    master.blockFrames = 1024;
    master.mainGroupMask = 1;
    auto* driver = static_cast<CAlsaOutput*>(manager.OpenMaster(master));
    ASSERT_NE(driver, nullptr);
    COutputDeviceInfo recorderRecord;
    recorderRecord.device = 768;
    recorderRecord.mainGroupMask = 1;
    auto* recorder = static_cast<CWavRecorderOutput*>(manager.AttachSecondary(recorderRecord));
    ASSERT_NE(recorder, nullptr);
    ASSERT_EQ(recorder->StartRecording(path.c_str(), 0, 0), 0);
    recorder->SetWriting(true);

    CCodeClient client;
    ClientRecord flags;
    ASSERT_EQ(manager.Start(client, flags), 0);
    // "null" does not pace: three seconds of audio come as fast as the machine makes them.
    EXPECT_TRUE(WaitForFrames(client, 3 * 44100, std::chrono::seconds(30)));
    manager.Stop();
    const uint32_t rendered = client.FramesRendered();
    ASSERT_EQ(recorder->StopRecording(), 0);
    manager.Close();

    EXPECT_GT(driver == nullptr ? 0 : rendered, 3u * 44100);
    const auto bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 44u + rendered * 4u);
    const auto expected = ExpectedMain(0, rendered);
    EXPECT_EQ(std::memcmp(bytes.data() + 44, expected.data(), expected.size() * 2), 0);
}

TEST(AlsaOutput, OpenErrorsAreNumbersAndTheManagerKeepsNothing)
{
    // A server socket nobody serves: "default" has no sound server behind it.
    setenv("PULSE_SERVER", "unix:/nonexistent/quandel-no-server", 1);
    struct Case {
        const char* what;
        uint32_t device;
        uint16_t rate;
        uint8_t bytes;
    };
    const uint32_t null = NullIdentifier();
    const Case cases[] = {
        {"default without a server", 0, 44100, 2},
        {"beyond the hint list", 255, 44100, 2},
        {"rate the device refuses", null, 0, 2},
        {"24-bit samples", null, 44100, 3},
    };
    for (const Case& c : cases) {
        COutputDeviceInfo record;
        record.device = c.device;
        record.sampleRate = c.rate;
        record.bytesPerSample = c.bytes;
        CAlsaOutput driver;
        COutputManager manager;
        const int error = driver.Open(record, manager);
        EXPECT_GE(error, 1010) << c.what;
        EXPECT_LE(error, 1016) << c.what;
        EXPECT_FALSE(driver.Pcm().IsOpen()) << c.what;
        EXPECT_EQ(manager.OpenMaster(record), nullptr) << c.what;
        EXPECT_EQ(manager.Master(), nullptr) << c.what;
    }
    COutputDeviceInfo record;
    record.device = 255;
    CAlsaOutput driver;
    COutputManager manager;
    EXPECT_EQ(driver.Open(record, manager), 1013);
    record.device = null;
    record.sampleRate = 0;
    EXPECT_EQ(driver.Open(record, manager), 1016);
}

TEST(AlsaOutput, FourChannelMasterPlaysOnOneAndTwoAndItsSecondaryOnThreeAndFour)
{
    CTempDir dir;
    const std::string raw = dir.Path("four.raw");
    COutputManager manager;
    COutputDeviceInfo master;
    master.device = 1024;
    master.blockFrames = 512;
    master.mainGroupMask = 1;
    ASSERT_NE(
        manager.OpenMaster(master, std::make_unique<CAlsa4chOutput>("file:FILE=" + raw + ",FORMAT=raw")),
        nullptr);
    COutputDeviceInfo second;
    second.device = 1024;
    second.mainGroupMask = 2; // the monitor mix on the second pair
    second.stereo = 1;
    ASSERT_NE(manager.AttachSecondary(second, std::make_unique<CAlsa4chOutput>()), nullptr);
    // Four blocks more than are checked: closing a PCM drops what it has not consumed yet, so
    // the last blocks may never reach the file.
    CCodeClient client(12 * 512);
    ClientRecord flags;
    manager.Start(client, flags);
    EXPECT_TRUE(WaitForFrames(client, 12 * 512, std::chrono::seconds(30)));
    // The client's end stops the run from the pacing thread; Close joins it.
    manager.Close();

    const auto bytes = ReadBytes(raw);
    ASSERT_GE(bytes.size(), 8u * 512 * 8);
    int bad = 0;
    for (uint32_t f = 0; f < 8 * 512; ++f) {
        int16_t s[4];
        std::memcpy(s, bytes.data() + f * 8, 8);
        // The monitor sits at pan 0, which the bus's pan law weighs 128/256 left, 129/256 right.
        const int left = MonitorSample(f) * 128 / 256;
        const int right = MonitorSample(f) * 129 / 256;
        bad += s[0] != MainSample(f) || s[1] != -MainSample(f) || std::abs(s[2] - left) > 2 ||
               std::abs(s[3] - right) > 2;
    }
    EXPECT_EQ(bad, 0);
}

TEST(AlsaOutput, TwoFourChannelDevicesOpenAtOnceEachPlayTheirOwnBlocks)
{
    struct Device {
        const char* file;
        uint32_t blockFrames;
        uint8_t masterGroup;
        uint8_t secondaryGroup;
    };
    const Device devices[2] = {{"a.raw", 512, 1, 2}, {"b.raw", 1024, 2, 1}};
    CTempDir dir;
    COutputManager managers[2];
    COutputDeviceInfo masters[2];
    COutputDeviceInfo secondaries[2];
    // Both masters open before either secondary: each secondary must join its own manager's.
    for (int k = 0; k < 2; ++k) {
        masters[k].device = 1024;
        masters[k].blockFrames = devices[k].blockFrames;
        masters[k].mainGroupMask = devices[k].masterGroup;
        const std::string pcm = "file:FILE=" + dir.Path(devices[k].file) + ",FORMAT=raw";
        ASSERT_NE(managers[k].OpenMaster(masters[k], std::make_unique<CAlsa4chOutput>(pcm)), nullptr) << k;
    }
    for (int k = 0; k < 2; ++k) {
        secondaries[k].device = 1024;
        secondaries[k].mainGroupMask = devices[k].secondaryGroup;
        secondaries[k].stereo = 1;
        ASSERT_NE(managers[k].AttachSecondary(secondaries[k], std::make_unique<CAlsa4chOutput>()), nullptr)
            << k;
    }
    // The first device plays to its end and closes while the second stays open (a device tried
    // in the setup); the second then plays with the first gone.
    for (int k = 0; k < 2; ++k) {
        const uint32_t blockFrames = devices[k].blockFrames;
        CCodeClient client(12 * blockFrames);
        ClientRecord flags;
        managers[k].Start(client, flags);
        EXPECT_TRUE(WaitForFrames(client, 12 * blockFrames, std::chrono::seconds(30))) << k;
        managers[k].Close();

        // Closing a PCM drops what it has not consumed yet: four blocks more were made than
        // are checked.
        const auto bytes = ReadBytes(dir.Path(devices[k].file));
        EXPECT_GE(bytes.size(), 8u * blockFrames * 8) << k;
        EXPECT_EQ(
            BadFourChannelFrames(bytes, 8 * blockFrames, devices[k].masterGroup, devices[k].secondaryGroup),
            0)
            << k;
    }
}
