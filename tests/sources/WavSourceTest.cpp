#include "WavSource.h"
#include "AudioSource.h"
#include "CdTrackSource.h"
#include "Mp3Source.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <new>
#include <numbers>
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

std::string Quote(const std::string& path)
{
    return "'" + path + "'";
}

// sox without dither, so that widening is exact; quiet, and its warnings kept off the log.
bool RunSox(const std::string& arguments)
{
    return std::system(("sox -D -q " + arguments + " 2>/dev/null").c_str()) == 0;
}

// The format tag of a file whose "fmt " chunk comes first, as sox writes them.
uint16_t FormatTagOf(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return 0;
    uint8_t header[22] = {};
    const size_t got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    return got == sizeof header ? static_cast<uint16_t>(header[20] | (header[21] << 8)) : 0;
}

// The amplitude of a tone in count samples from first, by projection on its sine and cosine: exact
// when the window holds whole periods of it and of the other tones present.
double ToneAmplitude(const std::vector<int16_t>& samples, size_t first, size_t count, double hz, double rate)
{
    double cosine = 0.0;
    double sine = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double phase = 2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate;
        cosine += samples[first + i] * std::cos(phase);
        sine += samples[first + i] * std::sin(phase);
    }
    return 2.0 * std::hypot(cosine, sine) / static_cast<double>(count);
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
    bool extensible = false; // WAVE_FORMAT_EXTENSIBLE with a PCM sub-format and a channel mask
};

class WavSourceDepth : public WavSourceFile, public ::testing::WithParamInterface<DepthCase> {};

TEST_P(WavSourceDepth, DeliversTheRampWithChannelsApart)
{
    const auto [bits, channels, extensible] = GetParam();
    const int frames = 2500;
    const WavFormat format{extensible ? uint16_t{0xFFFE} : uint16_t{1}, channels, 48000, bits};
    WavLayout layout;
    if (extensible) // valid bits below the container, as 20-bit converters write them
        layout.extension =
            WavExtension{static_cast<uint16_t>(bits - 4), channels == 2 ? 0x3u : 0x4u, 1, false};
    ASSERT_EQ(
        m_source.Open(Write("ramp.wav", BuildWav(format, RampSamples(frames, channels), layout)).c_str()), 1);
    EXPECT_EQ(m_source.GetOpenError(), nullptr);
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
                                           DepthCase{32, 1}, DepthCase{32, 2}, DepthCase{16, 2, true},
                                           DepthCase{24, 1, true}, DepthCase{24, 2, true},
                                           DepthCase{32, 2, true}),
                         [](const auto& info) {
                             return std::to_string(info.param.bits) + "Bit" +
                                    (info.param.channels == 1 ? "Mono" : "Stereo") +
                                    (info.param.extensible ? "Extensible" : "");
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
    auto extensible = [&](WavFormat format, uint16_t subFormat, bool foreignGuid = false) {
        WavLayout layout;
        layout.extension = WavExtension{0, 0x3, subFormat, foreignGuid};
        format.formatTag = 0xFFFE;
        return wav(format, layout);
    };
    WavLayout twentyFourBitsInFour;
    twentyFourBitsInFour.extension = WavExtension{};
    twentyFourBitsInFour.blockAlign = 8;

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason; // a part of the reason given
    };
    const std::vector<Case> cases = {
        {"MPEG Layer III in WAV", wav({0x0055, 2, 44100, 16}),
         "unsupported WAV format tag 0x0055 (MPEG Layer III)"},
        {"ADPCM", wav({0x0002, 2, 44100, 16}), "format tag 0x0002"},
        {"a tag nobody uses", wav({0x7777, 2, 44100, 16}), "format tag 0x7777"},
        {"extensible of ADPCM", extensible({0xFFFE, 2, 44100, 16}, 0x0002), "sub-format 0x0002"},
        {"extensible of a foreign GUID", extensible({0xFFFE, 2, 44100, 16}, 1, true), "not PCM or float"},
        {"extensible without its extension", wav({0xFFFE, 2, 44100, 16}), "too short"},
        {"extensible bits unlike the block align", wav({0xFFFE, 2, 44100, 24}, twentyFourBitsInFour),
         "24-bit"},
        {"float of 16 bits", wav({3, 2, 44100, 16}), "float of 2 bytes"},
        {"nine channels", wav({1, 9, 44100, 16}), "9 channels"},
        {"zero channels", withBlockAlign({1, 0, 44100, 16}, 4), "no channels"},
        {"zero block align", withBlockAlign({}, 0), "block align 0"},
        {"block align below one byte a sample", withBlockAlign({}, 1), "block align 1"},
        {"five bytes a sample", withBlockAlign({1, 1, 44100, 40}, 5), "5 bytes"},
        {"rate above 192000", wav({1, 2, 192001, 16}), "192001 Hz"},
        {"rate 0", wav({1, 2, 0, 16}), "0 Hz"},
        {"data before fmt", wav({}, dataFirst), "before the format"},
        {"no RIFF", noRiff, "not a RIFF"},
        {"no WAVE", noWave, "not WAVE"},
        {"short fmt", shortFormat, "format chunk of 14 bytes"},
        {"no data chunk", noData, "no data chunk"},
        {"chunk size past the end", chunkPastEnd, "\"LIST\" chunk runs past the end"},
    };
    const std::string good = Write("good.wav", StereoRampWav(2000));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(m_source.Open(good.c_str()), 1);
        EXPECT_EQ(m_source.Open(Write("bad.wav", c.bytes).c_str()), 0);
        ASSERT_NE(m_source.GetOpenError(), nullptr);
        EXPECT_NE(std::string(m_source.GetOpenError()).find(c.reason), std::string::npos)
            << m_source.GetOpenError();
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
        EXPECT_NE(m_source.GetOpenError(), nullptr);
        EXPECT_EQ(m_source.GetBlockCount(), 0);
    }
    EXPECT_EQ(m_source.Open(nullptr), 0);
    EXPECT_NE(m_source.GetOpenError(), nullptr);
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
        EXPECT_EQ(m_source.GetOpenError(), nullptr);
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

// sox as an independent writer: it stores 24 and 32-bit PCM as WAVE_FORMAT_EXTENSIBLE and float
// with tag 3. Widening 16-bit samples is exact in sox, so the reader must give them back.
struct SoxCase {
    const char* name;
    const char* encoding; // sox output options
    uint16_t formatTag;   // what sox writes
    int tolerance;        // 16-bit steps
};

class WavSourceSox : public WavSourceFile, public ::testing::WithParamInterface<SoxCase> {};

TEST_P(WavSourceSox, ReadsTheSamplesSoxWidened)
{
    const SoxCase& c = GetParam();
    const int frames = 2500;
    const std::string original = Write("original.wav", BuildWav({1, 2, 48000, 16}, RampSamples(frames, 2)));
    const std::string widened = m_dir.Path("widened.wav");
    ASSERT_TRUE(RunSox(Quote(original) + " " + c.encoding + " " + Quote(widened)));
    ASSERT_EQ(FormatTagOf(widened), c.formatTag);

    ASSERT_EQ(m_source.Open(widened.c_str()), 1) << m_source.GetOpenError();
    EXPECT_EQ(m_source.GetSampleRate(), 48000);
    EXPECT_EQ(m_source.GetTotalFrames(), frames);
    const Decoded decoded = ReadToEnd(m_source);
    ASSERT_EQ(decoded.left.size(), static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        ASSERT_LE(std::abs(decoded.left[static_cast<size_t>(i)] - Ramp(i)), c.tolerance) << "frame " << i;
        ASSERT_LE(std::abs(decoded.right[static_cast<size_t>(i)] - AntiRamp(i)), c.tolerance)
            << "frame " << i;
    }
}

// Float is read as x * 32767 rounded, sox writes x / 32768: one step apart at most.
INSTANTIATE_TEST_SUITE_P(WavSource, WavSourceSox,
                         ::testing::Values(SoxCase{"Pcm24", "-b 24 -e signed-integer", 0xFFFE, 0},
                                           SoxCase{"Pcm32", "-b 32 -e signed-integer", 0xFFFE, 0},
                                           SoxCase{"Float32", "-b 32 -e floating-point", 3, 1},
                                           SoxCase{"Float64", "-b 64 -e floating-point", 3, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WavSourceFile, FloatIsScaledRoundedAndClippedWithNanAsSilence)
{
    // A sine at 0.9, then values at and beyond full scale, NaN and infinities.
    std::vector<double> mono;
    for (int i = 0; i < 441; ++i)
        mono.push_back(0.9 * std::sin(2.0 * std::numbers::pi * 1000.0 * i / 44100.0));
    struct Special {
        double value;
        int16_t expected;
        int16_t negated; // for -value
    };
    const Special special[] = {{1.0, 32767, -32767},       {-1.0, -32767, 32767},  {1.5, 32767, -32768},
                               {-1.5, -32768, 32767},      {0.25, 8192, -8192},    {-0.5, -16384, 16384},
                               {1e30, 32767, -32768},      {-1e30, -32768, 32767}, {INFINITY, 32767, -32768},
                               {-INFINITY, -32768, 32767}, {std::nan(""), 0, 0},   {0.0, 0, 0}};
    for (const Special& value : special)
        mono.push_back(value.value);
    const size_t specialStart = 441;

    struct Case {
        const char* name;
        uint16_t tag;
        uint16_t bits;
        uint16_t channels;
    };
    const Case cases[] = {{"float32 mono", 3, 32, 1},
                          {"float64 mono", 3, 64, 1},
                          {"float32 stereo", 3, 32, 2},
                          {"float64 stereo", 3, 64, 2},
                          {"extensible float32", 0xFFFE, 32, 2},
                          {"extensible float64", 0xFFFE, 64, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Stereo carries the signal negated on the right, so swapped channels show.
        std::vector<double> interleaved;
        for (const double value : mono) {
            interleaved.push_back(value);
            if (c.channels == 2)
                interleaved.push_back(-value);
        }
        WavLayout layout;
        if (c.tag == 0xFFFE)
            layout.extension = WavExtension{0, 0, 3, false};
        const WavFormat format{c.tag, c.channels, 44100, c.bits};
        ASSERT_EQ(m_source.Open(Write("float.wav", BuildFloatWav(format, interleaved, layout)).c_str()), 1)
            << m_source.GetOpenError();
        const Decoded decoded = ReadToEnd(m_source);
        ASSERT_EQ(decoded.left.size(), mono.size());
        for (size_t i = 0; i < specialStart; ++i) {
            const auto expected = static_cast<int>(std::lround(mono[i] * 32767.0));
            ASSERT_LE(std::abs(decoded.left[i] - expected), 1) << "frame " << i;
            ASSERT_LE(std::abs(decoded.right[i] - (c.channels == 2 ? -expected : expected)), 1)
                << "frame " << i;
        }
        for (size_t i = 0; i < std::size(special); ++i) {
            SCOPED_TRACE(special[i].value);
            EXPECT_EQ(decoded.left[specialStart + i], special[i].expected);
            EXPECT_EQ(decoded.right[specialStart + i],
                      c.channels == 2 ? special[i].negated : special[i].expected);
        }
    }
}

struct HighRateCase {
    uint32_t fileRate;
    uint16_t reportedRate;
    double aboveNyquistHz; // a tone the halving must remove
    double foldedHz;       // where what is left of it lands at the reported rate
};

class WavSourceHighRate : public WavSourceFile, public ::testing::WithParamInterface<HighRateCase> {};

// Left: 1 kHz at half scale; right: a tone above the reported rate's Nyquist frequency at 0.9.
TEST_P(WavSourceHighRate, KeepsTheToneAndRemovesWhatWouldFoldBack)
{
    const HighRateCase& c = GetParam();
    const int fileFrames = static_cast<int>(c.fileRate / 5) + 3; // 0.2 s and a partial frame
    std::vector<int16_t> samples;
    for (int i = 0; i < fileFrames; ++i) {
        const double t = static_cast<double>(i) / c.fileRate;
        samples.push_back(
            static_cast<int16_t>(std::lround(16384.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * t))));
        samples.push_back(static_cast<int16_t>(
            std::lround(29491.0 * std::sin(2.0 * std::numbers::pi * c.aboveNyquistHz * t))));
    }
    ASSERT_EQ(m_source.Open(Write("high.wav", BuildWav({1, 2, c.fileRate, 16}, samples)).c_str()), 1)
        << m_source.GetOpenError();
    EXPECT_EQ(m_source.GetSampleRate(), c.reportedRate);
    const int factor = static_cast<int>(c.fileRate / c.reportedRate);
    const int64_t frames = (fileFrames + factor - 1) / factor;
    EXPECT_EQ(m_source.GetTotalFrames(), frames);
    EXPECT_EQ(m_source.GetBlockCount(), (frames + kBlock - 1) / kBlock);
    EXPECT_NEAR(m_source.GetBlockDuration(), 1024000.0f / c.reportedRate, 1e-4);

    const Decoded decoded = ReadToEnd(m_source);
    ASSERT_EQ(decoded.left.size(), static_cast<size_t>(frames));
    // A tenth of a second away from the ends, where the filter sees the file's edges.
    const size_t first = 1000;
    const size_t count = c.reportedRate / 10;
    const double tone = ToneAmplitude(decoded.left, first, count, 1000.0, c.reportedRate);
    EXPECT_NEAR(20.0 * std::log10(tone / 16384.0), 0.0, 0.01) << "1 kHz is not at 1 kHz";
    EXPECT_LT(ToneAmplitude(decoded.left, first, count, c.foldedHz, c.reportedRate), 1.0);
    const double folded = ToneAmplitude(decoded.right, first, count, c.foldedHz, c.reportedRate);
    EXPECT_LT(20.0 * std::log10(std::max(folded, 1e-3) / 29491.0), -90.0) << folded;
    EXPECT_LT(ToneAmplitude(decoded.right, first, count, 1000.0, c.reportedRate), 1.0);
}

INSTANTIATE_TEST_SUITE_P(WavSource, WavSourceHighRate,
                         ::testing::Values(HighRateCase{88200, 44100, 26000.0, 18100.0},
                                           HighRateCase{96000, 48000, 30000.0, 18000.0},
                                           HighRateCase{176400, 44100, 26000.0, 18100.0},
                                           HighRateCase{192000, 48000, 30000.0, 18000.0},
                                           HighRateCase{192000, 48000, 60000.0, 12000.0}),
                         [](const auto& info) {
                             return std::to_string(info.param.fileRate) + "Hz" +
                                    std::to_string(static_cast<int>(info.param.aboveNyquistHz));
                         });

// Noise so that every frame differs; the blocks after a seek must equal those of a read from
// the start, bit for bit, wherever the filter or the mix is involved.
TEST_F(WavSourceFile, SeekDeliversTheBlockOfAFullReadInEveryFormat)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> noise(-0.8, 0.8);
    struct Case {
        const char* name;
        WavFormat format;
        uint32_t mask;
    };
    const Case cases[] = {
        {"16-bit stereo 96 kHz", {1, 2, 96000, 16}, 0},
        {"24-bit 5.1 192 kHz", {0xFFFE, 6, 192000, 24}, 0x3F},
        {"float 7.1 44.1 kHz", {3, 8, 44100, 32}, 0},
        {"float64 mono 88.2 kHz", {3, 1, 88200, 64}, 0},
        {"8-bit stereo 176.4 kHz", {1, 2, 176400, 8}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int factor = c.format.rate > 131070 ? 4 : c.format.rate > 65535 ? 2 : 1;
        const int fileFrames = (4 * kBlock + 300) * factor + 1;
        std::vector<double> samples(static_cast<size_t>(fileFrames) * c.format.channels);
        for (double& sample : samples)
            sample = noise(random);
        WavLayout layout;
        if (c.format.formatTag == 0xFFFE)
            layout.extension = WavExtension{0, c.mask, 1, false};
        std::vector<uint8_t> bytes;
        if (c.format.formatTag == 3) {
            bytes = BuildFloatWav(c.format, samples, layout);
        } else {
            std::vector<int16_t> pcm;
            for (const double sample : samples)
                pcm.push_back(static_cast<int16_t>(std::lround(sample * 32767.0)));
            bytes = BuildWav(c.format, pcm, layout);
        }
        ASSERT_EQ(m_source.Open(Write("noise.wav", bytes).c_str()), 1) << m_source.GetOpenError();
        ASSERT_EQ(m_source.GetBlockCount(), 5);
        const Decoded whole = ReadToEnd(m_source);
        ASSERT_EQ(whole.left.size(), static_cast<size_t>((fileFrames + factor - 1) / factor));

        std::array<int16_t, kBlock> left{};
        std::array<int16_t, kBlock> right{};
        for (const int block : {3, 0, 4, 1, 2, 2, 4}) {
            SCOPED_TRACE(block);
            m_source.SeekBlock(block);
            const int frames = m_source.ReadBlock(left.data(), right.data());
            const auto start = static_cast<size_t>(block) * kBlock;
            ASSERT_EQ(static_cast<size_t>(frames), std::min<size_t>(kBlock, whole.left.size() - start));
            for (int i = 0; i < frames; ++i) {
                ASSERT_EQ(left[static_cast<size_t>(i)], whole.left[start + static_cast<size_t>(i)])
                    << "frame " << i;
                ASSERT_EQ(right[static_cast<size_t>(i)], whole.right[start + static_cast<size_t>(i)])
                    << "frame " << i;
            }
        }
    }
}

TEST_F(WavSourceFile, SilenceWithANanInAFilteredFileStaysSilent)
{
    std::vector<double> samples(2 * 20000, 0.0);
    samples[2 * 10001] = std::nan("");
    samples[2 * 10001 + 1] = INFINITY;
    ASSERT_EQ(m_source.Open(Write("nan.wav", BuildFloatWav({3, 2, 96000, 32}, samples)).c_str()), 1);
    const Decoded decoded = ReadToEnd(m_source);
    ASSERT_EQ(decoded.left.size(), 10000u);
    EXPECT_EQ(*std::max_element(decoded.left.begin(), decoded.left.end()), 0);
    EXPECT_EQ(*std::min_element(decoded.left.begin(), decoded.left.end()), 0);
    // Infinity is limited before the filter: it plays as a click, never as NaN or a wrap.
    EXPECT_GT(*std::max_element(decoded.right.begin(), decoded.right.end()), 10000);
}

// Each file channel carries its own tone; the mix puts each tone into L and R by its speaker:
// fronts whole into their side, centre and surrounds at -3 dB, LFE nowhere, the whole scaled
// so that full scale on every channel fits.
struct DownMixCase {
    const char* name;
    uint16_t channels;
    uint16_t formatTag;
    std::optional<uint32_t> mask;                          // written in an extensible header
    bool sox;                                              // written by sox instead
    std::vector<std::pair<double, double>> leftRightGains; // per channel
};

class WavSourceDownMix : public WavSourceFile, public ::testing::WithParamInterface<DownMixCase> {};

TEST_P(WavSourceDownMix, PutsEachChannelWhereItsSpeakerIs)
{
    const DownMixCase& c = GetParam();
    constexpr uint32_t kRate = 48000;
    constexpr int kFrames = 9600;
    const double hz[] = {500, 700, 1100, 100, 1300, 1700, 1900, 2300};
    std::string path = m_dir.Path("mix.wav");
    if (c.sox) {
        std::string command =
            "-n -b 16 -c " + std::to_string(c.channels) + " -r 48000 " + Quote(path) + " synth 0.2";
        for (int channel = 0; channel < c.channels; ++channel)
            command += " sine " + std::to_string(static_cast<int>(hz[channel]));
        ASSERT_TRUE(RunSox(command + " vol 0.5"));
        ASSERT_EQ(FormatTagOf(path), 0xFFFE);
    } else {
        std::vector<int16_t> samples;
        for (int i = 0; i < kFrames; ++i) {
            for (int channel = 0; channel < c.channels; ++channel)
                samples.push_back(static_cast<int16_t>(
                    std::lround(16384.0 * std::sin(2.0 * std::numbers::pi * hz[channel] * i / kRate))));
        }
        WavLayout layout;
        if (c.mask)
            layout.extension = WavExtension{0, *c.mask, 1, false};
        ASSERT_TRUE(WriteFile(path, BuildWav({c.formatTag, c.channels, kRate, 16}, samples, layout)));
    }
    ASSERT_EQ(m_source.Open(path.c_str()), 1) << m_source.GetOpenError();
    const Decoded decoded = ReadToEnd(m_source);
    ASSERT_EQ(decoded.left.size(), static_cast<size_t>(kFrames));
    for (int channel = 0; channel < c.channels; ++channel) {
        SCOPED_TRACE(channel);
        const auto [leftGain, rightGain] = c.leftRightGains[static_cast<size_t>(channel)];
        EXPECT_NEAR(ToneAmplitude(decoded.left, 0, kFrames, hz[channel], kRate) / 16384.0, leftGain, 2e-4);
        EXPECT_NEAR(ToneAmplitude(decoded.right, 0, kFrames, hz[channel], kRate) / 16384.0, rightGain, 2e-4);
    }
}

// 1 / (1 + 2 x 0.7071) for 5.1, 1 / (1 + 3 x 0.7071) for 7.1, 1 / (1 + 0.7071) for quad sides.
constexpr double kFive = 0.414214;
constexpr double kFiveSide = 0.292893;
constexpr double kSeven = 0.320377;
constexpr double kSevenSide = 0.226541;
constexpr double kQuad = 0.585786;
constexpr double kQuadSide = 0.414214;

INSTANTIATE_TEST_SUITE_P(
    WavSource, WavSourceDownMix,
    ::testing::Values(
        DownMixCase{"Sox51",
                    6,
                    0xFFFE,
                    std::nullopt,
                    true,
                    {{kFive, 0}, {0, kFive}, {kFiveSide, kFiveSide}, {0, 0}, {kFiveSide, 0}, {0, kFiveSide}}},
        DownMixCase{"Plain51InDefaultOrder",
                    6,
                    1,
                    std::nullopt,
                    false,
                    {{kFive, 0}, {0, kFive}, {kFiveSide, kFiveSide}, {0, 0}, {kFiveSide, 0}, {0, kFiveSide}}},
        DownMixCase{"Plain71InDefaultOrder",
                    8,
                    1,
                    std::nullopt,
                    false,
                    {{kSeven, 0},
                     {0, kSeven},
                     {kSevenSide, kSevenSide},
                     {0, 0},
                     {kSevenSide, 0},
                     {0, kSevenSide},
                     {kSevenSide, 0},
                     {0, kSevenSide}}},
        // Front pair and side pair: the mask, not the default quad order, names the speakers.
        DownMixCase{"ExtensibleFrontsAndSides",
                    4,
                    0xFFFE,
                    0x603,
                    false,
                    {{kQuad, 0}, {0, kQuad}, {kQuadSide, 0}, {0, kQuadSide}}},
        // A mask naming fewer speakers than there are channels: the rest play in the middle.
        DownMixCase{"ExtensibleMaskTooShort",
                    3,
                    0xFFFE,
                    0x3,
                    false,
                    {{kQuad, 0}, {0, kQuad}, {kQuadSide, kQuadSide}}},
        DownMixCase{"ExtensibleWithoutMask",
                    3,
                    0xFFFE,
                    0x0,
                    false,
                    {{kQuad, 0}, {0, kQuad}, {kQuadSide, kQuadSide}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WavSourceFile, FullScaleOnEveryChannelComesOutUnclipped)
{
    for (const uint16_t channels : {3, 6, 8}) {
        SCOPED_TRACE(channels);
        std::vector<double> samples;
        for (int i = 0; i < 4800; ++i) {
            for (int channel = 0; channel < channels; ++channel)
                samples.push_back(std::sin(2.0 * std::numbers::pi * 1000.0 * i / 48000.0));
        }
        ASSERT_EQ(m_source.Open(Write("loud.wav", BuildFloatWav({3, channels, 48000, 32}, samples)).c_str()),
                  1);
        const Decoded decoded = ReadToEnd(m_source);
        ASSERT_EQ(decoded.left.size(), 4800u);
        for (size_t i = 0; i < decoded.left.size(); ++i) {
            const auto expected = static_cast<int>(std::lround(32767.0 * samples[i * channels]));
            ASSERT_LE(std::abs(decoded.left[i] - expected), 1) << "frame " << i;
            ASSERT_LE(std::abs(decoded.right[i] - expected), 1) << "frame " << i;
        }
    }
}

TEST_F(WavSourceFile, RefusesAFifoAtOnce)
{
    const std::string path = m_dir.Path("x.wav");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    auto opened = std::async(std::launch::async, [&] { return m_source.Open(path.c_str()); });
    if (opened.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // A reader stuck in open(2) is released by a writer appearing.
        const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        opened.wait();
        if (writer >= 0)
            ::close(writer);
        FAIL() << "opening a FIFO blocked";
    }
    EXPECT_EQ(opened.get(), 0);
    ASSERT_NE(m_source.GetOpenError(), nullptr);
    EXPECT_STREQ(m_source.GetOpenError(), "not a regular file");
}

TEST_F(WavSourceFile, ReadingAndSeekingAllocateNothingInAnyFormat)
{
    struct Case {
        const char* name;
        WavFormat format;
    };
    const Case cases[] = {{"16-bit stereo", {1, 2, 44100, 16}},
                          {"float 5.1", {3, 6, 48000, 32}},
                          {"float64 7.1 at 192 kHz", {3, 8, 192000, 64}},
                          {"24-bit at 96 kHz", {1, 2, 96000, 24}}};
    std::array<int16_t, kBlock> left{};
    std::array<int16_t, kBlock> right{};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<double> samples(static_cast<size_t>(c.format.channels) * 20000, 0.25);
        const std::vector<int16_t> pcm(samples.size(), 8192);
        const auto bytes =
            c.format.formatTag == 3 ? BuildFloatWav(c.format, samples) : BuildWav(c.format, pcm);
        ASSERT_EQ(m_source.Open(Write("alloc.wav", bytes).c_str()), 1);
        const long before = t_allocations;
        int64_t frames = 0;
        for (const int block : {0, 3, 1}) {
            m_source.SeekBlock(block);
            while (const int delivered = m_source.ReadBlock(left.data(), right.data()))
                frames += delivered;
        }
        EXPECT_EQ(t_allocations - before, 0);
        EXPECT_GT(frames, 0);
    }
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
