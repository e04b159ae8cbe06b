#include "WavRecorderOutput.h"
#include "OutputDeviceInfo.h"
#include "OutputManager.h"
#include "TempDir.h"
#include "WavSource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t U32At(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

struct Recorder {
    COutputManager manager;
    COutputDeviceInfo record;
    CWavRecorderOutput recorder;

    Recorder() { recorder.Open(record, manager); }
};

// One second of interleaved stereo frames whose samples name their frame.
std::vector<int16_t> Second(uint32_t second)
{
    std::vector<int16_t> samples(2 * 44100);
    for (uint32_t f = 0; f < 44100; ++f) {
        samples[2 * f] = static_cast<int16_t>((second * 44100 + f) % 30000);
        samples[2 * f + 1] = static_cast<int16_t>(-samples[2 * f]);
    }
    return samples;
}

} // namespace

TEST(WavRecorderOutput, TenSecondsOfCdAudioGiveTheSizesAndTimeOfTenSeconds)
{
    CTempDir dir;
    Recorder r;
    const std::string path = dir.Path("ten.wav");
    ASSERT_EQ(r.recorder.StartRecording(path.c_str(), 0, 0), 0);
    r.recorder.SetWriting(true);
    for (uint32_t s = 0; s < 10; ++s) {
        const auto samples = Second(s);
        EXPECT_EQ(r.recorder.Write(samples.data(), static_cast<uint32_t>(samples.size() * 2), 44100), 0);
    }
    EXPECT_EQ(r.recorder.GetRecordedTime(), 10000u);
    ASSERT_EQ(r.recorder.StopRecording(), 0);
    const auto bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 44u + 1764000u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(U32At(bytes, 4), 1764036u);
    EXPECT_EQ(U32At(bytes, 40), 1764000u);

    // Our own reader gets every sample back, in the right format.
    CWavSource source;
    ASSERT_NE(source.Open(path.c_str()), 0);
    EXPECT_EQ(source.GetSampleRate(), 44100);
    std::vector<int16_t> left(CWavSource::kBlockFrames);
    std::vector<int16_t> right(CWavSource::kBlockFrames);
    uint32_t frame = 0;
    int mismatches = 0;
    while (const int got = source.ReadBlock(left.data(), right.data())) {
        for (int i = 0; i < got; ++i, ++frame) {
            const auto want = static_cast<int16_t>(frame % 30000);
            mismatches += left[i] != want || right[i] != -want;
        }
    }
    EXPECT_EQ(frame, 441000u);
    EXPECT_EQ(mismatches, 0);

    // And so does a tool that has never seen this code.
    const std::string command = "sox --i '" + path + "' 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string info;
    char line[256];
    while (std::fgets(line, sizeof line, pipe) != nullptr)
        info += line;
    ASSERT_EQ(pclose(pipe), 0) << info;
    EXPECT_NE(info.find("Channels       : 2"), std::string::npos) << info;
    EXPECT_NE(info.find("Sample Rate    : 44100"), std::string::npos) << info;
    EXPECT_NE(info.find("Precision      : 16-bit"), std::string::npos) << info;
    EXPECT_NE(info.find("441000 samples"), std::string::npos) << info;
}

TEST(WavRecorderOutput, StartedButNeverSwitchedOnLeavesAnEmptyWave)
{
    CTempDir dir;
    Recorder r;
    const std::string path = dir.Path("empty.wav");
    ASSERT_EQ(r.recorder.StartRecording(path.c_str(), 0, 0), 0);
    const auto samples = Second(0);
    r.recorder.Write(samples.data(), 4000, 1000);
    EXPECT_FALSE(r.recorder.IsWriting());
    ASSERT_EQ(r.recorder.StopRecording(), 0);
    const auto bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(U32At(bytes, 4), 36u);
    EXPECT_EQ(U32At(bytes, 40), 0u);
}

TEST(WavRecorderOutput, SecondStartClosesTheFirstFileProperlyAndPauseSkipsBlocks)
{
    CTempDir dir;
    Recorder r;
    const auto samples = Second(0);
    const std::string first = dir.Path("first.wav");
    const std::string second = dir.Path("second.wav");
    ASSERT_EQ(r.recorder.StartRecording(first.c_str(), 0, 0), 0);
    r.recorder.SetWriting(true);
    r.recorder.Write(samples.data(), 4000, 1000);
    r.recorder.SetWriting(false); // paused: this block is not recorded
    r.recorder.Write(samples.data(), 4000, 1000);
    r.recorder.SetWriting(true);
    r.recorder.Write(samples.data(), 400, 100);
    ASSERT_EQ(r.recorder.StartRecording(second.c_str(), 0, 0), 0);
    EXPECT_FALSE(r.recorder.IsWriting()) << "a new recording starts switched off";
    r.recorder.SetWriting(true);
    r.recorder.Write(samples.data(), 800, 200);
    r.recorder.Close();

    const auto a = ReadBytes(first);
    ASSERT_EQ(a.size(), 44u + 4400u);
    EXPECT_EQ(U32At(a, 4), 36u + 4400u);
    EXPECT_EQ(U32At(a, 40), 4400u);
    EXPECT_EQ(std::memcmp(a.data() + 44 + 4000, samples.data(), 400), 0) << "resumed where the music is";
    const auto b = ReadBytes(second);
    ASSERT_EQ(b.size(), 44u + 800u);
    EXPECT_EQ(U32At(b, 40), 800u);
}

TEST(WavRecorderOutput, NamesAndUncreatableFile)
{
    Recorder r;
    EXPECT_STREQ(r.recorder.GetRecorderName(0), "Internal WAV Writer");
    EXPECT_EQ(r.recorder.GetRecorderName(1), nullptr);
    EXPECT_STREQ(r.recorder.GetFormatName(0, 0), "44.1 KHz, 16 Bit, Stereo");
    EXPECT_EQ(r.recorder.GetFormatName(0, 1), nullptr);
    EXPECT_EQ(r.recorder.StartRecording("/nonexistent-folder/x.wav", 0, 0), 1);
    r.recorder.SetWriting(true);
    EXPECT_FALSE(r.recorder.IsWriting()) << "idle: nothing to switch on";
    uint32_t frames = 7;
    EXPECT_EQ(r.recorder.GetPosition(frames), 1);
    EXPECT_EQ(frames, 0u);
}
