#include "WavSource.h"
#include "AudioSource.h"
#include "CdTrackSource.h"
#include "Mp3Source.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

// Counts operator new calls on this thread, so a test can show that reading allocates nothing.
namespace {
thread_local long t_allocations = 0;
}

// None of these is inlined, so that the compiler does not pair malloc() and free() with the
// operators they replace and warn of a mismatch.
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

constexpr int kBlock = CWavSource::kBlockFrames;
constexpr size_t kPlainHeaderBytes = 44; // RIFF header, 16-byte "fmt ", "data" header

// Left steps by an odd number, so every frame of a block differs in both bytes; right is its
// bitwise complement, of opposite sign, so swapped or mixed channels show at once.
int16_t Ramp(int64_t frame)
{
    return static_cast<int16_t>(static_cast<uint16_t>(frame * 263 + 1));
}

int16_t AntiRamp(int64_t frame)
{
    return static_cast<int16_t>(~Ramp(frame));
}

std::vector<int16_t> RampSamples(int frames, int channels)
{
    std::vector<int16_t> samples;
    for (int i = 0; i < frames; ++i) {
        samples.push_back(Ramp(i));
        if (channels == 2)
            samples.push_back(AntiRamp(i));
    }
    return samples;
}

std::vector<uint8_t> StereoRampWav(int frames, const WavLayout& layout = {})
{
    return BuildWav(WavFormat{}, RampSamples(frames, 2), layout);
}

WavLayout Layout(std::vector<WavChunk> beforeFormat, std::vector<WavChunk> beforeData,
                 uint32_t formatExtraBytes = 0)
{
    WavLayout layout;
    layout.beforeFormat = std::move(beforeFormat);
    layout.beforeData = std::move(beforeData);
    layout.formatExtraBytes = formatExtraBytes;
    return layout;
}

struct Decoded {
    std::vector<int16_t> left;
    std::vector<int16_t> right;
    std::vector<int> blockFrames; // each ReadBlock result up to and including the first 0
};

// Reads from the current block to the end. The files here are at most a few blocks long, so a
// reader that does not stop (or reports a huge count) fails fast instead of reading for minutes.
Decoded ReadToEnd(CWavSource& source)
{
    constexpr int kMaxBlocks = 64;
    Decoded decoded;
    std::array<int16_t, kBlock> left{};
    std::array<int16_t, kBlock> right{};
    for (int i = 0; i < kMaxBlocks; ++i) {
        const int frames = source.ReadBlock(left.data(), right.data());
        decoded.blockFrames.push_back(frames);
        if (frames == 0)
            break;
        decoded.left.insert(decoded.left.end(), left.begin(), left.begin() + frames);
        decoded.right.insert(decoded.right.end(), right.begin(), right.begin() + frames);
    }
    return decoded;
}

// Index of the first frame that is not the ramp from firstFrame on, or -1.
int FirstRampMismatch(const std::vector<int16_t>& left, const std::vector<int16_t>& right,
                      int64_t firstFrame = 0)
{
    for (size_t i = 0; i < left.size(); ++i) {
        if (left[i] != Ramp(firstFrame + static_cast<int64_t>(i)) ||
            right[i] != AntiRamp(firstFrame + static_cast<int64_t>(i)))
            return static_cast<int>(i);
    }
    return -1;
}

class WavSourceFile : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const std::string path = m_dir.Path(name);
        EXPECT_TRUE(WriteFile(path, bytes)) << path;
        return path;
    }

    CTempDir m_dir;
    CWavSource m_source;
};

struct DepthCase {
    uint16_t bits;
    uint16_t channels;
};

class WavSourceDepth : public WavSourceFile, public ::testing::WithParamInterface<DepthCase> {};

TEST_P(WavSourceDepth, DeliversTheRampWithChannelsApart)
{
    const auto [bits, channels] = GetParam();
    const int frames = 2500;
    const WavFormat format{1, channels, 48000, bits};
    ASSERT_EQ(m_source.Open(Write("ramp.wav", BuildWav(format, RampSamples(frames, channels))).c_str()), 1);
    EXPECT_EQ(m_source.GetSampleRate(), 48000);
    EXPECT_EQ(m_source.GetBlockCount(), 3);

    const Decoded decoded = ReadToEnd(m_source);
    ASSERT_EQ(decoded.left.size(), static_cast<size_t>(frames));
    // 8-bit files hold only the top byte of each sample.
    const int mask = bits == 8 ? 0xFF00 : 0xFFFF;
    for (int i = 0; i < frames; ++i) {
        const auto expectedLeft = static_cast<int16_t>(Ramp(i) & mask);
        const auto expectedRight = channels == 2 ? static_cast<int16_t>(AntiRamp(i) & mask) : expectedLeft;
        ASSERT_EQ(decoded.left[static_cast<size_t>(i)], expectedLeft) << "frame " << i;
        ASSERT_EQ(decoded.right[static_cast<size_t>(i)], expectedRight) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(WavSource, WavSourceDepth,
                         ::testing::Values(DepthCase{8, 1}, DepthCase{8, 2}, DepthCase{16, 1},
                                           DepthCase{16, 2}, DepthCase{24, 1}, DepthCase{24, 2},
                                           DepthCase{32, 1}, DepthCase{32, 2}),
                         [](const auto& info) {
                             return std::to_string(info.param.bits) + "Bit" +
                                    (info.param.channels == 1 ? "Mono" : "Stereo");
                         });

TEST_F(WavSourceFile, KeepsTheTopSixteenBitsOfEverySampleWidth)
{
    struct Case {
        uint16_t bits;
        std::vector<uint8_t> data; // mono samples, little-endian
        std::vector<int16_t> expected;
    };
    const std::vector<Case> cases = {
        {8, {0x00, 0x80, 0xFF, 0x81}, {-32768, 0, 32512, 256}},
        {16, {0x34, 0x12, 0x00, 0x80, 0xFF, 0xFF}, {0x1234, -32768, -1}},
        {24,
         {0xFF, 0x34, 0x12, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x80, 0xFF, 0xFF},
         {0x1234, -32768, 32767, -1}},
        {32,
         {0xFF, 0xFF, 0x34, 0x12, 0, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF},
         {0x1234, -32768, 32767, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        const WavFormat format{1, 1, 44100, c.bits};
        ASSERT_EQ(m_source.Open(Write("width.wav", BuildWavFromData(format, c.data)).c_str()), 1);
        std::array<int16_t, kBlock> left{};
        std::array<int16_t, kBlock> right{};
        ASSERT_EQ(m_source.ReadBlock(left.data(), right.data()), static_cast<int>(c.expected.size()));
        EXPECT_EQ(std::vector<int16_t>(left.begin(), left.begin() + static_cast<long>(c.expected.size())),
                  c.expected);
        EXPECT_EQ(left, right);
    }
}

TEST_F(WavSourceFile, CountsBlocksByCeilingAndPadsTheShortLastBlock)
{
    struct Case {
        int frames;
        int blocks;
        int lastBlockFrames;
    };
    const Case cases[] = {{0, 0, 0},    {1, 1, 1},       {1023, 1, 1023}, {1024, 1, 1024},
                          {1025, 2, 1}, {2048, 2, 1024}, {2049, 3, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frames);
        ASSERT_EQ(m_source.Open(Write("length.wav", StereoRampWav(c.frames)).c_str()), 1);
        ASSERT_EQ(m_source.GetBlockCount(), c.blocks);

        std::array<int16_t, kBlock> left{};
        std::array<int16_t, kBlock> right{};
        for (int block = 0; block < c.blocks; ++block) {
            EXPECT_EQ(m_source.GetCurrentBlock(), block);
            left.fill(0x5555);
            right.fill(0x5555);
            const int expected = block + 1 == c.blocks ? c.lastBlockFrames : kBlock;
            ASSERT_EQ(m_source.ReadBlock(left.data(), right.data()), expected);
            EXPECT_EQ(FirstRampMismatch({left.begin(), left.begin() + expected},
                                        {right.begin(), right.begin() + expected}, int64_t{block} * kBlock),
                      -1);
            for (int i = expected; i < kBlock; ++i)
                ASSERT_TRUE(left[i] == 0 && right[i] == 0) << "padding frame " << i;
        }
        EXPECT_EQ(m_source.ReadBlock(left.data(), right.data()), 0);
        EXPECT_EQ(m_source.ReadBlock(left.data(), right.data()), 0);
        EXPECT_EQ(m_source.GetCurrentBlock(), c.blocks);
    }
}

TEST_F(WavSourceFile, SeekBlockDeliversThatBlockInAnyOrder)
{
    // Written through the deck tests' helper, so that it is checked here too.
    std::vector<int16_t> leftIn;
    std::vector<int16_t> rightIn;
    for (int i = 0; i < 5000; ++i) {
        leftIn.push_back(Ramp(i));
        rightIn.push_back(AntiRamp(i));
    }
    const std::string path = m_dir.Path("seek.wav");
    ASSERT_TRUE(WriteStereoWav16(path, leftIn, rightIn, 32000));
    ASSERT_EQ(m_source.Open(path.c_str()), 1);
    EXPECT_EQ(m_source.GetSampleRate(), 32000);
    struct Step {
        int seekTo;
        int frames; // what the following ReadBlock returns
        int64_t firstFrame;
    };
    // Run in order: forwards, backwards, past the end, after the end, before the start.
    const Step steps[] = {{3, 1024, 3072}, {1, 1024, 1024}, {4, 904, 4096}, {5, 0, 0},
                          {9999, 0, 0},    {0, 1024, 0},    {-2, 1024, 0}};
    std::array<int16_t, kBlock> left{};
    std::array<int16_t, kBlock> right{};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.seekTo);
        m_source.SeekBlock(step.seekTo);
        EXPECT_EQ(m_source.GetCurrentBlock(), std::max(step.seekTo, 0));
        ASSERT_EQ(m_source.ReadBlock(left.data(), right.data()), step.frames);
        EXPECT_EQ(FirstRampMismatch({left.begin(), left.begin() + step.frames},
                                    {right.begin(), right.begin() + step.frames}, step.firstFrame),
                  -1);
    }
    // A seek then a read to the end continues with the blocks that follow.
    m_source.SeekBlock(2);
    const Decoded rest = ReadToEnd(m_source);
    EXPECT_EQ(rest.blockFrames, (std::vector<int>{1024, 1024, 904, 0}));
    EXPECT_EQ(FirstRampMismatch(rest.left, rest.right, 2048), -1);
}

TEST_F(WavSourceFile, SkipsOtherChunksByTheirSize)
{
    const WavChunk odd{"junk", {1, 2, 3}};
    const WavChunk otherOdd{"bext", {9, 8, 7, 6, 5}};
    struct Case {
        const char* name;
        WavLayout layout;
    };
    const Case cases[] = {
        {"list between fmt and data", Layout({}, {ListInfoChunk("Title")})},
        {"odd chunk before fmt", Layout({odd}, {})},
        {"odd chunks on both sides of fmt", Layout({odd, otherOdd}, {ListInfoChunk("T"), otherOdd})},
        {"format of 18 bytes", Layout({}, {}, 2)},
        {"format of odd size", Layout({}, {odd}, 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(m_source.Open(Write("chunks.wav", StereoRampWav(1500, c.layout)).c_str()), 1);
        EXPECT_EQ(m_source.GetBlockCount(), 2);
        const Decoded decoded = ReadToEnd(m_source);
        EXPECT_EQ(decoded.left.size(), 1500u);
        EXPECT_EQ(FirstRampMismatch(decoded.left, decoded.right), -1);
    }
}

TEST_F(WavSourceFile, PlaysOnlyTheWholeFramesTheFileHolds)
{
    struct Case {
        const char* name;
        int framesWritten;
        std::optional<uint32_t> dataBytes;
        int framesPlayed;
    };
    const Case cases[] = {
        {"data size beyond the file", 1500, 4096 * 4, 1500},
        {"data size of 4 GiB", 3000, 0xFFFFFFFF, 3000},
        {"data size short of the file", 3000, 400, 100},
        {"data size with half a frame", 1000, 4002, 1000},
        {"data size 0", 1000, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WavLayout layout;
        layout.dataBytes = c.dataBytes;
        ASSERT_EQ(m_source.Open(Write("size.wav", StereoRampWav(c.framesWritten, layout)).c_str()), 1);
        EXPECT_EQ(m_source.GetBlockCount(), (c.framesPlayed + kBlock - 1) / kBlock);
        const Decoded decoded = ReadToEnd(m_source);
        EXPECT_EQ(decoded.left.size(), static_cast<size_t>(c.framesPlayed));
        EXPECT_EQ(FirstRampMismatch(decoded.left, decoded.right), -1);
    }
}

TEST_F(WavSourceFile, FileCutAtEveryByteOpensOnlyWithItsHeaderAndPlaysWhatIsLeft)
{
    const std::vector<uint8_t> whole = StereoRampWav(10);
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        const std::string path = Write("cut.wav", {whole.begin(), whole.begin() + static_cast<long>(cut)});
        if (cut < kPlainHeaderBytes) {
            EXPECT_EQ(m_source.Open(path.c_str()), 0);
            continue;
        }
        ASSERT_EQ(m_source.Open(path.c_str()), 1);
        const Decoded decoded = ReadToEnd(m_source);
        EXPECT_EQ(decoded.left.size(), (cut - kPlainHeaderBytes) / 4);
        EXPECT_EQ(FirstRampMismatch(decoded.left, decoded.right), -1);
    }
}

TEST_F(WavSourceFile, FileCutShortAfterOpenPlaysSilenceForTheMissingPart)
{
    const std::string path = Write("shrinks.wav", StereoRampWav(3000));
    ASSERT_EQ(m_source.Open(path.c_str()), 1);
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(kPlainHeaderBytes + 1500 * 4)), 0);

    const Decoded decoded = ReadToEnd(m_source);
    EXPECT_EQ(decoded.blockFrames, (std::vector<int>{1024, 1024, 952, 0}));
    EXPECT_EQ(FirstRampMismatch({decoded.left.begin(), decoded.left.begin() + 1500},
                                {decoded.right.begin(), decoded.right.begin() + 1500}),
              -1);
    for (size_t i = 1500; i < decoded.left.size(); ++i)
        ASSERT_TRUE(decoded.left[i] == 0 && decoded.right[i] == 0) << "frame " << i;
}

TEST_F(WavSourceFile, RefusesFilesItCannotPlayAndIsLeftClosed)
{
    const std::vector<int16_t> samples = RampSamples(100, 2);
    auto wav = [&](WavFormat format, WavLayout layout = {}) { return BuildWav(format, samples, layout); };
    auto withBlockAlign = [&](WavFormat format, uint16_t blockAlign) {
        WavLayout layout;
        layout.blockAlign = blockAlign;
        return wav(format, layout);
    };
    std::vector<uint8_t> noRiff = wav({});
    noRiff[0] = 'X';
    std::vector<uint8_t> noWave = wav({});
    noWave[8] = 'X';
    std::vector<uint8_t> shortFormat = wav({});
    shortFormat[16] = 14; // "fmt " size below the 16 bytes of PCM format
    std::vector<uint8_t> noData = wav({});
    noData.resize(36); // RIFF header and "fmt " only
    WavLayout hugeChunk;
    hugeChunk.beforeData = {ListInfoChunk("x")};
    std::vector<uint8_t> chunkPastEnd = wav({}, hugeChunk);
    chunkPastEnd[40] = 0xF0; // the LIST size now runs past the end of the file
    chunkPastEnd[43] = 0x7F;
    WavLayout dataFirst;
    dataFirst.dataBeforeFormat = true;

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"float", wav({3, 2, 44100, 32})},
        {"extensible", wav({0xFFFE, 2, 44100, 16})},
        {"six channels", wav({1, 6, 44100, 16})},
        {"zero channels", withBlockAlign({1, 0, 44100, 16}, 4)},
        {"zero block align", withBlockAlign({}, 0)},
        {"block align below one byte a sample", withBlockAlign({}, 1)},
        {"five bytes a sample", withBlockAlign({1, 1, 44100, 40}, 5)},
        {"rate above 65535", wav({1, 2, 96000, 16})},
        {"rate 0", wav({1, 2, 0, 16})},
        {"data before fmt", wav({}, dataFirst)},
        {"no RIFF", noRiff},
        {"no WAVE", noWave},
        {"short fmt", shortFormat},
        {"no data chunk", noData},
        {"chunk size past the end", chunkPastEnd},
    };
    const std::string good = Write("good.wav", StereoRampWav(2000));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(m_source.Open(good.c_str()), 1);
        EXPECT_EQ(m_source.Open(Write("bad.wav", c.bytes).c_str()), 0);
        EXPECT_EQ(m_source.GetBlockCount(), 0);
        EXPECT_EQ(m_source.GetTitle(), nullptr);
        std::array<int16_t, kBlock> left{};
        std::array<int16_t, kBlock> right{};
        EXPECT_EQ(m_source.ReadBlock(left.data(), right.data()), 0);
    }
}

TEST_F(WavSourceFile, RefusesWhatIsNotAWaveFile)
{
    std::mt19937 random(7);
    std::vector<uint8_t> noise(4096);
    for (uint8_t& byte : noise)
        byte = static_cast<uint8_t>(random());
    std::vector<uint8_t> noiseAfterHeader = StereoRampWav(0);
    noiseAfterHeader.resize(12);
    noiseAfterHeader.insert(noiseAfterHeader.end(), noise.begin(), noise.end());
    ASSERT_EQ(mkdir(m_dir.Path("folder.wav").c_str(), 0700), 0);

    const std::string paths[] = {
        m_dir.Path("folder.wav"),  m_dir.Path("missing.wav"),
        Write("empty.wav", {}),    Write("riff.wav", {'R', 'I', 'F', 'F'}),
        Write("noise.wav", noise), Write("noise-after-header.wav", noiseAfterHeader),
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(m_source.Open(path.c_str()), 0);
        EXPECT_EQ(m_source.GetBlockCount(), 0);
    }
    EXPECT_EQ(m_source.Open(nullptr), 0);
}

TEST_F(WavSourceFile, TitleIsTheFileNameWithoutFolderAndExtension)
{
    ASSERT_EQ(mkdir(m_dir.Path("album.v2").c_str(), 0700), 0);
    const std::pair<const char*, const char*> cases[] = {
        {"Artist - Song.wav", "Artist - Song"}, {"song.remix.WAV", "song.remix"},
        {"no extension", "no extension"},       {"C:\\Music\\Track 01.wav", "Track 01"},
        {"album.v2/intro.wav", "intro"},
    };
    for (const auto& [name, title] : cases) {
        ASSERT_EQ(m_source.Open(Write(name, StereoRampWav(10)).c_str()), 1);
        EXPECT_STREQ(m_source.GetTitle(), title);
    }
    m_source.Close();
    EXPECT_EQ(m_source.GetTitle(), nullptr);
    EXPECT_EQ(m_source.GetBlockCount(), 0);
}

TEST_F(WavSourceFile, BlockDurationFollowsTheFileRate)
{
    const std::pair<uint32_t, float> cases[] = {
        {44100, 23.219955f}, {48000, 21.333334f}, {8000, 128.0f}, {65535, 15.625238f}};
    for (const auto& [rate, milliseconds] : cases) {
        SCOPED_TRACE(rate);
        ASSERT_EQ(m_source.Open(Write("rate.wav", BuildWav({1, 2, rate, 16}, RampSamples(10, 2))).c_str()),
                  1);
        EXPECT_EQ(m_source.GetSampleRate(), rate);
        EXPECT_EQ(m_source.GetBlockFrames(), 1024);
        EXPECT_NEAR(m_source.GetBlockDuration(), milliseconds, 1e-4);
    }
}

TEST_F(WavSourceFile, ReadingAndSeekingAllocateNothing)
{
    ASSERT_EQ(m_source.Open(Write("alloc.wav", StereoRampWav(5000)).c_str()), 1);
    std::array<int16_t, kBlock> left{};
    std::array<int16_t, kBlock> right{};
    const long before = t_allocations;
    int frames = 0;
    for (int pass = 0; pass < 2; ++pass) {
        m_source.SeekBlock(0);
        while (const int delivered = m_source.ReadBlock(left.data(), right.data()))
            frames += delivered;
    }
    EXPECT_EQ(t_allocations - before, 0);
    EXPECT_EQ(frames, 10000);
}

TEST(AudioSource, CreateForPathPicksTheReaderByTheFileNameExtension)
{
    enum class Kind { Wav, Mpeg, Cd, None };
    const std::pair<const char*, Kind> cases[] = {
        {"/music/a.wav", Kind::Wav},
        {"/music/A.WAV", Kind::Wav},
        {"b.Wav", Kind::Wav},
        {"C:\\x\\c.wAV", Kind::Wav},
        {"/music/a.mp3", Kind::Mpeg},
        {"/music/a.MP2", Kind::Mpeg},
        {"/cd/Track01.cda", Kind::Cd},
        {"/cd/TRACK02.CDA", Kind::Cd},
        {"/music.wav/a", Kind::Mpeg},
        {"C:\\d.wav\\song", Kind::Mpeg},
        {"/music/a.wav.mp3", Kind::Mpeg},
        {"/music/wav", Kind::Mpeg},
        {"", Kind::Mpeg},
    };
    for (const auto& [path, kind] : cases) {
        SCOPED_TRACE(path);
        const auto source = CAudioSource::CreateForPath(path);
        EXPECT_EQ(dynamic_cast<CWavSource*>(source.get()) != nullptr, kind == Kind::Wav);
        EXPECT_EQ(dynamic_cast<CMp3Source*>(source.get()) != nullptr, kind == Kind::Mpeg);
        EXPECT_EQ(dynamic_cast<CCdTrackSource*>(source.get()) != nullptr, kind == Kind::Cd);
        EXPECT_EQ(source == nullptr, kind == Kind::None);
    }
}

} // namespace
