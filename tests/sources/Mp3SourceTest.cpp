#include "Mp3Source.h"
#include "MpegTestStreams.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

// Counts operator new calls on this thread, so a test can show that reading allocates nothing.
namespace {
thread_local long t_allocations = 0;
}

[[gnu::noinline]] void* operator new(std::size_t bytes)
{
    ++t_allocations;
    if (void* memory = std::malloc(bytes != 0 ? bytes : 1))
        return memory;
    throw std::bad_alloc();
}

[[gnu::noinline]] void operator delete(void* memory) noexcept
{
    std::free(memory);
}

[[gnu::noinline]] void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

namespace {

struct Block {
    std::vector<int16_t> left;
    std::vector<int16_t> right;
    int result = 0;
};

class Mp3SourceTest : public ::testing::Test {
protected:
    std::string Write(const std::vector<uint8_t>& bytes, const std::string& name = "My Song.mp1")
    {
        const std::string path = m_dir.Path(name);
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }

    Block Read()
    {
        Block block;
        block.left.assign(CAudioSource::kMaxBlockFrames, 0x5555);
        block.right.assign(CAudioSource::kMaxBlockFrames, 0x5555);
        block.result = m_source.ReadBlock(block.left.data(), block.right.data());
        block.left.resize(static_cast<size_t>(m_source.GetBlockFrames()));
        block.right.resize(static_cast<size_t>(m_source.GetBlockFrames()));
        return block;
    }

    std::vector<Block> ReadAll()
    {
        std::vector<Block> blocks;
        for (;;) {
            blocks.push_back(Read());
            if (blocks.back().result == 0) {
                blocks.pop_back(); // nothing delivered
                return blocks;
            }
            if (blocks.size() > 10000)
                return blocks;
        }
    }

    CTempDir m_dir;
    CMp3Source m_source;
};

Layer1Options Stereo48k(int frames)
{
    Layer1Options options;
    options.samplingRateIndex = 1;
    options.frames = frames;
    return options;
}

TEST_F(Mp3SourceTest, OpenReportsTheShapeOfTheFirstFrame)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int blockFrames;
        int rate;
        int blocks;
    };
    Layer1Options mpeg2 = Stereo48k(7);
    mpeg2.version = 0;
    mpeg2.samplingRateIndex = 2;
    MpegHeader layer2;
    layer2.samplingRateIndex = 1;
    layer2.bitRateIndex = 10;
    const Case cases[] = {
        {"Layer I 48 kHz", EncodeLayer1(Stereo48k(25)), 384, 48000, 25},
        {"Layer I 16 kHz", EncodeLayer1(mpeg2), 384, 16000, 7},
        {"Layer II 48 kHz", MarkedMpegStream(layer2, 12), 1152, 48000, 12},
    };
    // A dot in a folder name is no extension.
    ASSERT_EQ(::mkdir(m_dir.Path("dir.x").c_str(), 0700), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(m_source.Open(Write(c.bytes, "dir.x/My Song.mp3").c_str()), 1);
        EXPECT_STREQ(m_source.GetTitle(), "My Song");
        EXPECT_EQ(m_source.GetBlockFrames(), c.blockFrames);
        EXPECT_EQ(m_source.GetSampleRate(), c.rate);
        EXPECT_EQ(m_source.GetBlockCount(), c.blocks);
        EXPECT_FLOAT_EQ(m_source.GetBlockDuration(), c.blockFrames * 1000.0f / c.rate);
        EXPECT_EQ(m_source.GetCurrentBlock(), 0);
    }
}

TEST_F(Mp3SourceTest, SyncPatternsInsideATagOrBeforeTheAudioDoNotWinTheLock)
{
    MpegHeader layer2;
    layer2.samplingRateIndex = 1;
    layer2.bitRateIndex = 10;
    const std::vector<uint8_t> audio = MarkedMpegStream(layer2, 12);
    // An ID3v2 tag of 300 bytes whose body holds what looks like Layer I and Layer III headers.
    std::vector<uint8_t> tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 2, 44};
    for (int i = 0; i < 300; ++i)
        tagged.push_back(i % 7 == 0 ? 0xFF : static_cast<uint8_t>(i % 5 == 0 ? 0xFE : 0x40 + i % 40));
    tagged.insert(tagged.end(), audio.begin(), audio.end());
    // Loose bytes with a sync pattern before untagged audio.
    std::vector<uint8_t> loose = {0x00, 0xFF, 0xFE, 0x94, 0x00, 0x11, 0xFF, 0xFB, 0x90, 0x44};
    loose.insert(loose.end(), audio.begin(), audio.end());
    for (const auto* bytes : {&tagged, &loose}) {
        ASSERT_EQ(m_source.Open(Write(*bytes, "tagged.mp3").c_str()), 1);
        EXPECT_EQ(m_source.GetBlockFrames(), 1152);
        EXPECT_EQ(m_source.GetSampleRate(), 48000);
        EXPECT_EQ(m_source.GetBlockCount(), 12);
    }
}

TEST_F(Mp3SourceTest, EveryFrameIsDeliveredWithOneAndThenNothing)
{
    ASSERT_EQ(m_source.Open(Write(EncodeLayer1(Stereo48k(10))).c_str()), 1);
    const std::vector<Block> blocks = ReadAll();
    ASSERT_EQ(blocks.size(), 10u);
    for (size_t i = 0; i < blocks.size(); ++i)
        EXPECT_EQ(blocks[i].result, 1) << i;
    // The last frame carries sound; after it nothing is delivered.
    long energy = 0;
    for (const int16_t s : blocks.back().left)
        energy += std::abs(s);
    EXPECT_GT(energy, 0);
    EXPECT_EQ(Read().result, 0);
}

TEST_F(Mp3SourceTest, SeekingPreRollsUpToFourFramesAndMatchesSequentialReading)
{
    // Layer I frames are 384 samples, shorter than the filter bank's 512-sample memory: a seek
    // that rebuilt less than the frames before the target would differ.
    ASSERT_EQ(m_source.Open(Write(EncodeLayer1(Stereo48k(120))).c_str()), 1);
    const std::vector<Block> sequential = ReadAll();
    ASSERT_EQ(sequential.size(), 120u);
    for (const int target : {2, 100, 0, 1, 3, 4, 5, 119, 57}) {
        SCOPED_TRACE(target);
        m_source.SeekBlock(target);
        EXPECT_EQ(m_source.GetCurrentBlock(), target);
        const Block block = Read();
        EXPECT_EQ(block.result, 1);
        EXPECT_EQ(block.left, sequential[static_cast<size_t>(target)].left);
        EXPECT_EQ(block.right, sequential[static_cast<size_t>(target)].right);
        if (target < 119) {
            EXPECT_EQ(m_source.GetCurrentBlock(), target + 1);
            EXPECT_EQ(Read().left, sequential[static_cast<size_t>(target + 1)].left);
        }
    }
    // A seek to the block about to be read is no seek at all.
    m_source.SeekBlock(10);
    Read();
    m_source.SeekBlock(11);
    EXPECT_EQ(Read().left, sequential[11].left);
}

TEST_F(Mp3SourceTest, SeekingPastTheEndDeliversSilenceOnceThenStops)
{
    ASSERT_EQ(m_source.Open(Write(EncodeLayer1(Stereo48k(10))).c_str()), 1);
    m_source.SeekBlock(50);
    const Block block = Read();
    EXPECT_EQ(block.result, 1);
    EXPECT_EQ(block.left, std::vector<int16_t>(384, 0));
    EXPECT_EQ(Read().result, 0);
    // A seek back makes frames available again.
    m_source.SeekBlock(3);
    EXPECT_EQ(Read().result, 1);
}

TEST_F(Mp3SourceTest, SingleChannelFilesDeliverIdenticalChannels)
{
    Layer1Options mono = Stereo48k(6);
    mono.mode = 3;
    ASSERT_EQ(m_source.Open(Write(EncodeLayer1(mono)).c_str()), 1);
    for (const Block& block : ReadAll())
        EXPECT_EQ(block.left, block.right);
}

TEST_F(Mp3SourceTest, ConversionToSixteenBitsRoundsAndClips)
{
    const std::pair<float, int16_t> cases[] = {
        {0.0f, 0},
        {1.0f, 32767},
        {-1.0f, -32767},
        {1.5f, 32767},
        {-1.5f, -32768},
        {-1.00003f, -32768},
        {0.4f / 32767.0f, 0},
        {0.6f / 32767.0f, 1},
        {-0.6f / 32767.0f, -1},
        {1000.0f / 32767.0f, 1000},
        {std::numeric_limits<float>::infinity(), 32767},
        {-std::numeric_limits<float>::infinity(), -32768},
        {std::numeric_limits<float>::quiet_NaN(), 0},
    };
    for (const auto& [in, expected] : cases) {
        int16_t out = 123;
        CMp3Source::ConvertToPcm16(&in, 1, &out);
        EXPECT_EQ(out, expected) << in;
    }
    // Whole blocks go eight at a time: every case in every position, a tail left over.
    std::vector<float> block;
    std::vector<int16_t> expected;
    for (int shift = 0; shift < 8; ++shift) {
        for (const auto& [in, value] : cases) {
            block.push_back(in);
            expected.push_back(value);
        }
        block.push_back(0.5f / 32767.0f); // ties go to even, as lrint rounds
        expected.push_back(0);
        block.push_back(1.5f / 32767.0f);
        expected.push_back(2);
    }
    block.push_back(-2.5f / 32767.0f);
    expected.push_back(-2);
    std::vector<int16_t> out(block.size(), 123);
    CMp3Source::ConvertToPcm16(block.data(), static_cast<int>(block.size()), out.data());
    EXPECT_EQ(out, expected);
}

TEST_F(Mp3SourceTest, FilesWithoutFramesAreRefused)
{
    std::mt19937 random(5);
    std::vector<uint8_t> noise(6000);
    for (uint8_t& b : noise)
        b = static_cast<uint8_t>(random() & 0x7F);
    const std::vector<std::vector<uint8_t>> refused = {
        {},
        noise,
        BuildWav(WavFormat{}, std::vector<int16_t>(4000, 0)),
        std::vector<uint8_t>(5000, 0xFF),
    };
    for (const auto& bytes : refused) {
        EXPECT_EQ(m_source.Open(Write(bytes, "bad.mp3").c_str()), 0);
        EXPECT_EQ(m_source.GetTitle(), nullptr);
        EXPECT_EQ(m_source.GetBlockCount(), 0);
        EXPECT_EQ(m_source.GetBlockFrames(), 1152);
        EXPECT_EQ(m_source.GetSampleRate(), 44100);
        EXPECT_EQ(m_source.GetBlockDuration(), 0.0f);
        EXPECT_EQ(Read().result, 0);
    }
    EXPECT_EQ(m_source.Open(m_dir.Path("missing.mp3").c_str()), 0);
    EXPECT_EQ(m_source.Open(nullptr), 0);
}

TEST_F(Mp3SourceTest, ReadingAndSeekingAllocateNothing)
{
    ASSERT_EQ(m_source.Open(Write(EncodeLayer1(Stereo48k(40))).c_str()), 1);
    std::vector<int16_t> left(CAudioSource::kMaxBlockFrames);
    std::vector<int16_t> right(CAudioSource::kMaxBlockFrames);
    const long before = t_allocations;
    int blocks = 0;
    while (m_source.ReadBlock(left.data(), right.data()) != 0)
        ++blocks;
    m_source.SeekBlock(20);
    m_source.ReadBlock(left.data(), right.data());
    EXPECT_EQ(t_allocations - before, 0);
    EXPECT_EQ(blocks, 40);
}

} // namespace
