#include "MixFileWriter.h"
#include "ChildProcess.h"
#include "TempDir.h"
#include "WavSource.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <sys/resource.h>

namespace {

std::vector<int16_t> Ramp(uint32_t frames)
{
    std::vector<int16_t> samples(frames * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        samples[i * 2] = static_cast<int16_t>(i * 7);
        samples[i * 2 + 1] = static_cast<int16_t>(-static_cast<int>(i % 30000));
    }
    return samples;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

bool HaveSox()
{
    return std::system("sox --version > /dev/null 2>&1") == 0;
}

} // namespace

TEST(MixFileWriter, AWrittenMixReadsBackFrameForFrameAndReplacesTheOldFileOnlyWhenWhole)
{
    CTempDir dir;
    const std::string path = dir.Path("mix.wav");
    WriteFile(path, "the previous mix");
    const std::vector<int16_t> samples = Ramp(3000);
    CMixFileWriter writer(path);
    ASSERT_TRUE(writer.Open()) << writer.Error();
    ASSERT_TRUE(writer.Write(samples.data(), 1000));
    ASSERT_TRUE(writer.Write(samples.data() + 2000, 2000));
    // Until the commit the old file is what the user has.
    EXPECT_EQ(ReadTextFile(path), "the previous mix");
    ASSERT_TRUE(writer.Commit()) << writer.Error();
    EXPECT_FALSE(writer.IsRf64());
    EXPECT_EQ(FolderNames(dir.Root()), std::vector<std::string>{"mix.wav"});

    const std::string bytes = ReadTextFile(path);
    ASSERT_EQ(bytes.size(), CMixFileWriter::kHeaderBytes + 3000u * 4);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes.substr(12, 4), "JUNK");
    CWavSource source;
    ASSERT_NE(source.Open(path.c_str()), 0);
    EXPECT_EQ(source.GetTotalFrames(), 3000);
    std::vector<int16_t> left(1024);
    std::vector<int16_t> right(1024);
    ASSERT_EQ(source.ReadBlock(left.data(), right.data()), 1024);
    for (size_t i = 0; i < 1024; ++i) {
        ASSERT_EQ(left[i], samples[i * 2]) << i;
        ASSERT_EQ(right[i], samples[i * 2 + 1]) << i;
    }
}

TEST(MixFileWriter, AudioBeyondWhatARiffSizeHoldsIsWrittenAsRf64ThatSoxReads)
{
    if (!HaveSox())
        GTEST_SKIP() << "sox is not installed";
    CTempDir dir;
    const std::string path = dir.Path("long.wav");
    const std::vector<int16_t> samples = Ramp(4410);
    // A limit of 1000 data bytes stands in for the 4 GiB of a real long mix.
    CMixFileWriter writer(path, 1000);
    ASSERT_TRUE(writer.Open());
    ASSERT_TRUE(writer.Write(samples.data(), 4410));
    ASSERT_TRUE(writer.Commit()) << writer.Error();
    EXPECT_TRUE(writer.IsRf64());
    const std::string bytes = ReadTextFile(path);
    EXPECT_EQ(bytes.substr(0, 4), "RF64");
    EXPECT_EQ(bytes.substr(12, 4), "ds64");

    const std::string raw = dir.Path("back.raw");
    ASSERT_EQ(std::system(("sox '" + path + "' -t raw -e signed -b 16 '" + raw + "'").c_str()), 0);
    const std::string back = ReadTextFile(raw);
    ASSERT_EQ(back.size(), 4410u * 4);
    EXPECT_EQ(back, bytes.substr(CMixFileWriter::kHeaderBytes));
}

TEST(MixFileWriter, AFailedWriteSaysWhyAndLeavesTheEarlierFileAndNoTemporary)
{
    CTempDir dir;
    const std::string path = dir.Path("mix.wav");
    WriteFile(path, "keep me");
    // A file-size limit stands in for a full disk; the signal it raises would end the test.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit limit{100000, old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const std::vector<int16_t> samples = Ramp(44100);
    CMixFileWriter writer(path);
    ASSERT_TRUE(writer.Open());
    bool failed = false;
    for (int block = 0; block < 20 && !failed; ++block)
        failed = !writer.Write(samples.data(), 44100);
    const bool committed = writer.Commit();
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_TRUE(failed);
    EXPECT_FALSE(committed);
    EXPECT_NE(writer.Error().find("File too large"), std::string::npos) << writer.Error();
    EXPECT_EQ(ReadTextFile(path), "keep me");
    EXPECT_EQ(FolderNames(dir.Root()), std::vector<std::string>{"mix.wav"});

    CMixFileWriter abandoned(path);
    ASSERT_TRUE(abandoned.Open());
    ASSERT_TRUE(abandoned.Write(samples.data(), 100));
    abandoned.Abandon();
    EXPECT_EQ(ReadTextFile(path), "keep me");
    EXPECT_EQ(FolderNames(dir.Root()), std::vector<std::string>{"mix.wav"});
    EXPECT_FALSE(CMixFileWriter(dir.Path("no/such/folder/x.wav")).Open());
}
