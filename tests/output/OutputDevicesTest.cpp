#include "OutputDevices.h"
#include "AlsaDeviceList.h"
#include "OutputDeviceInfo.h"
#include "PulseDeviceList.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

// Against this machine's own ALSA hint list.
TEST(OutputDevices, WalkFromZeroVisitsEveryDeviceOnceInListOrder)
{
    std::vector<AlsaPcmDevice> pcms;
    ASSERT_TRUE(AlsaDevices::ReadPlaybackPcms(pcms));
    std::vector<uint32_t> visited;
    std::map<uint32_t, COutputDeviceInfo> seen;
    COutputDeviceInfo record;
    for (uint32_t id = 0; GetDevice(id, record) == 0 && visited.size() < 600; id = record.device + 1) {
        visited.push_back(record.device);
        seen[record.device] = record;
    }
    std::vector<uint32_t> expected = {0};
    for (uint32_t k = 0; k < pcms.size() && k < 255; ++k)
        expected.push_back(k + 1);
    // The sound server's entries, when one answered as the list was read.
    if (PulseDevices::ServerReachable()) {
        for (uint32_t k = 0; k <= PulseDevices::Sinks().size(); ++k)
            expected.push_back(256 + k);
    }
    expected.push_back(512);
    expected.push_back(768);
    EXPECT_EQ(visited, expected);
    EXPECT_EQ(seen[0].name, "ALSA Default Device");
    for (uint32_t k = 0; k < pcms.size() && k < 255; ++k)
        EXPECT_EQ(seen[k + 1].name, "ALSA: " + pcms[k].description);
    // The pro-audio server is listed whether or not it runs; it can only be a master.
    EXPECT_EQ(seen[512].name.rfind("JACK: ", 0), 0u) << seen[512].name;
    EXPECT_EQ(seen[512].master, 1u);
    EXPECT_EQ(seen[512].secondary, 0u);
    EXPECT_EQ(seen[512].sampleRate, 44100);
    EXPECT_EQ(seen[768].name, ".WAV File Recorder");
    EXPECT_EQ(seen[768].master, 0u);
    EXPECT_EQ(seen[768].secondary, 1u);
    EXPECT_EQ(GetDevice(769, record), 1);
    EXPECT_EQ(GetDevice(1536, record), 1);
}

TEST(OutputDevices, NullPcmReportsEveryStandardFormatAndCdQuality)
{
    std::vector<AlsaPcmDevice> pcms;
    ASSERT_TRUE(AlsaDevices::ReadPlaybackPcms(pcms));
    uint32_t id = 0;
    for (uint32_t k = 0; k < pcms.size(); ++k) {
        if (pcms[k].pcmName == "null")
            id = k + 1;
    }
    ASSERT_NE(id, 0u) << "ALSA always defines the null PCM";
    COutputDeviceInfo record;
    ASSERT_EQ(GetDevice(id, record), 0);
    EXPECT_EQ(record.device, id);
    EXPECT_EQ(record.formats, 0xFFFu);
    EXPECT_EQ(record.sampleRate, 44100);
    EXPECT_EQ(record.bytesPerSample, 2);
    EXPECT_EQ(record.stereo, 1u);
    EXPECT_EQ(record.blockFrames, 4096u);

    // The four-channel list holds null too (it takes any channel count).
    bool listed = false;
    for (uint32_t walk = 1024; GetDevice(walk, record) == 0; walk = record.device + 1)
        listed = listed || record.name.find("Discard all samples") != std::string::npos;
    EXPECT_TRUE(listed);
}

TEST(OutputDevices, FormatBitsFollowTheWaveOutLayout)
{
    struct Case {
        uint32_t rate;
        bool stereo;
        bool sixteen;
        uint32_t bit;
    };
    for (const Case c :
         {Case{11025, false, false, 0x1}, Case{11025, true, false, 0x2}, Case{11025, false, true, 0x4},
          Case{11025, true, true, 0x8}, Case{22050, false, false, 0x10}, Case{22050, true, true, 0x80},
          Case{44100, false, false, 0x100}, Case{44100, true, true, 0x800}})
        EXPECT_EQ(AlsaDevices::FormatBit(c.rate, c.stereo, c.sixteen), c.bit) << c.rate;
}
