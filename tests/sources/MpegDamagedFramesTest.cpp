// Damaged and mixed streams as a deck meets them: real encoders' files (twolame, lame, our
// Layer I writer) with one frame damaged the way a bad copy damages it, or with frames of
// another channel mode spliced in. A damaged frame plays as silence, and nothing of such a file
// ever comes out louder than its good frames.
#include "Mp3Source.h"
#include "MpegDecoder.h"
#include "MpegReference.h"
#include "MpegStream.h"
#include "MpegTestStreams.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kDamagedFrame = 20;

// Every frame's output, left channel then right, as our decoder gives it frame by frame.
std::vector<std::vector<float>> DecodeFrames(const std::string& path)
{
    std::vector<std::vector<float>> frames;
    CMpegStream stream;
    if (stream.OpenFile(path.c_str()) == 0 || stream.ReadFrame() == 0)
        return frames;
    std::unique_ptr<CMpegDecoder> decoder = CMp3Source::CreateDecoder(stream.Layer());
    do {
        decoder->ClearOutput();
        const int produced = decoder->DecodeFrame(stream);
        std::vector<float> samples(decoder->Left(), decoder->Left() + produced);
        samples.insert(samples.end(), decoder->Right(), decoder->Right() + produced);
        frames.push_back(std::move(samples));
    } while (stream.ReadFrame() != 0);
    return frames;
}

float Peak(const std::vector<float>& samples, size_t from = 0)
{
    float peak = 0.0f;
    for (size_t i = from; i < samples.size(); ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

// The peak of the loudest frame.
float Loudest(const std::vector<std::vector<float>>& frames)
{
    float loudest = 0.0f;
    for (const auto& frame : frames)
        loudest = std::max(loudest, Peak(frame));
    return loudest;
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Where the frame's header is, and whether a CRC word follows it.
struct FramePlace {
    size_t offset = 0;
    bool crc = false;
};

FramePlace PlaceOf(const std::string& path, int frame)
{
    CMpegStream stream;
    FramePlace place;
    if (stream.OpenFile(path.c_str()) == 1 && stream.SeekFrame(frame) == 1) {
        place.offset = stream.FrameOffset(frame);
        place.crc = stream.Protection() == 0;
    }
    return place;
}

// Writes value into count bits of bytes from bit `bit` on, most significant first.
void PutBits(std::vector<uint8_t>& bytes, size_t bit, int count, uint32_t value)
{
    for (int i = 0; i < count; ++i, ++bit) {
        const auto mask = static_cast<uint8_t>(0x80u >> (bit % 8));
        if ((value >> (count - 1 - i)) & 1)
            bytes[bit / 8] |= mask;
        else
            bytes[bit / 8] &= static_cast<uint8_t>(~mask);
    }
}

class MpegDamagedFrames : public ::testing::Test {
protected:
    std::string Encode(const std::string& name, const std::string& command, int rate, int channels)
    {
        const std::string wav = m_dir.Path(name + ".wav");
        const std::string out = m_dir.Path(name);
        EXPECT_TRUE(WriteMusicLikeWav(wav, rate, channels, 2.0));
        const std::string line = command + " '" + wav + "' '" + out + "'";
        EXPECT_TRUE(RunQuiet(line)) << line;
        return out;
    }

    // Damages the frame with change (given the bytes and the bit where the frame's data begins,
    // after header and CRC word), decodes both files and checks what a listener hears: the
    // frames before the damage as they were, and nothing louder than the good file's loudest
    // frame. Then, for Layers I and II (frames that stand alone), everything from the damaged
    // frame on is exactly what the file gives with that frame's data all zero (no bits
    // allocated: a silent frame); for Layer III the damaged frame's own output is silent.
    void ExpectSilentDamage(const std::string& good,
                            const std::function<void(std::vector<uint8_t>&, size_t)>& change,
                            bool standAloneFrames)
    {
        const FramePlace place = PlaceOf(good, kDamagedFrame);
        const FramePlace next = PlaceOf(good, kDamagedFrame + 1);
        ASSERT_GT(place.offset, 0u);
        ASSERT_GT(next.offset, place.offset);
        const size_t dataStart = place.offset + 4 + (place.crc ? 2 : 0);
        std::vector<uint8_t> bytes = ReadBytes(good);
        std::vector<uint8_t> silent = bytes;
        change(bytes, dataStart * 8);
        std::fill(silent.begin() + static_cast<long>(dataStart),
                  silent.begin() + static_cast<long>(next.offset), 0);
        const std::string damaged = good + ".damaged";
        const std::string twin = good + ".silent";
        ASSERT_TRUE(WriteFile(damaged, bytes));
        ASSERT_TRUE(WriteFile(twin, silent));

        const auto before = DecodeFrames(good);
        const auto after = DecodeFrames(damaged);
        ASSERT_EQ(after.size(), before.size()) << "frames and their positions stay";
        const float loudest = Loudest(before);
        for (int i = 0; i < kDamagedFrame; ++i)
            ASSERT_EQ(after[static_cast<size_t>(i)], before[static_cast<size_t>(i)]) << "frame " << i;
        for (const auto& frame : after)
            EXPECT_LE(Peak(frame), loudest);
        if (standAloneFrames) {
            const auto expected = DecodeFrames(twin);
            ASSERT_EQ(expected.size(), after.size());
            for (size_t i = kDamagedFrame; i < after.size(); ++i)
                ASSERT_EQ(after[i], expected[i]) << "frame " << i;
        } else {
            EXPECT_EQ(Peak(after[kDamagedFrame]), 0.0f);
        }
    }

    CTempDir m_dir;
};

TEST_F(MpegDamagedFrames, ALayerTwoFrameWithADamagedAllocationPlaysAsSilence)
{
    if (!HaveTool("twolame"))
        GTEST_SKIP() << "twolame is not installed (scripts/deps.sh installs it)";
    for (const bool crc : {false, true}) {
        SCOPED_TRACE(crc ? "with CRC" : "without CRC");
        const std::string mp2 =
            Encode(crc ? "crc.mp2" : "plain.mp2",
                   std::string("twolame --quiet -d -b 192 -m s") + (crc ? " -p" : ""), 44100, 2);
        // The first allocation byte: the lowest sub-bands ask for the finest quantisers.
        ExpectSilentDamage(
            mp2, [](std::vector<uint8_t>& bytes, size_t bit) { bytes[bit / 8] = 0xFF; }, true);
    }
}

TEST_F(MpegDamagedFrames, ALayerOneFrameWithTheForbiddenAllocationPlaysAsSilence)
{
    Layer1Options options;
    options.frames = 40;
    const std::string mp1 = m_dir.Path("tones.mp1");
    ASSERT_TRUE(WriteFile(mp1, EncodeLayer1(options)));
    ExpectSilentDamage(
        mp1, [](std::vector<uint8_t>& bytes, size_t bit) { PutBits(bytes, bit + 8, 4, 15); }, true);
}

TEST_F(MpegDamagedFrames, ALayerThreeFrameWithImpossibleSideInformationPlaysAsSilence)
{
    if (!HaveTool("lame"))
        GTEST_SKIP() << "lame is not installed (scripts/deps.sh installs it)";
    const std::string mp3 = Encode("stereo.mp3", "lame --quiet -b 128 -m s", 44100, 2);
    // MPEG-1 stereo: main_data_begin (9), private bits (3), scfsi (8), then granule 0 of the
    // left channel: part2_3_length (12), big_values (9), global_gain (8), scalefac_compress (4),
    // window switching (1), block type (2).
    constexpr size_t kPart23 = 20;
    constexpr size_t kBigValues = 32;
    constexpr size_t kWindowSwitching = 53;
    constexpr size_t kSideInfoBits = 59; // of one granule of one channel
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&, size_t)> change;
    };
    const Case cases[] = {
        {"big_values above 288",
         [](std::vector<uint8_t>& b, size_t bit) { PutBits(b, bit + kBigValues, 9, 500); }},
        {"part2_3_length beyond the main data",
         [](std::vector<uint8_t>& b, size_t bit) {
             // Four granule-channels of 4095 bits: more than any reservoir and frame hold.
             for (size_t part = 0; part < 4; ++part)
                 PutBits(b, bit + kPart23 + part * kSideInfoBits, 12, 4095);
         }},
        {"a switched window of block type 0",
         [](std::vector<uint8_t>& b, size_t bit) { PutBits(b, bit + kWindowSwitching, 3, 4); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectSilentDamage(mp3, c.change, false);
    }
}

TEST_F(MpegDamagedFrames, FramesOfAnotherChannelModeWithSyncLikeBytesInsideAreNeverHeard)
{
    if (!HaveTool("twolame"))
        GTEST_SKIP() << "twolame is not installed (scripts/deps.sh installs it)";
    // Stereo and mono Layer II at one rate: every few stereo frames, three mono ones whose data
    // holds the stereo stream's header word.
    const std::string stereo = Encode("stereo.mp2", "twolame --quiet -d -b 192 -m s", 44100, 2);
    const std::string mono = Encode("mono.mp2", "twolame --quiet -d -b 192 -m m", 44100, 1);
    const std::vector<uint8_t> stereoBytes = ReadBytes(stereo);
    const std::vector<uint8_t> monoBytes = ReadBytes(mono);
    CMpegStream probe;
    ASSERT_EQ(probe.OpenFile(stereo.c_str()), 1);
    const int stereoFrames = probe.FrameCount();
    ASSERT_EQ(probe.OpenFile(mono.c_str()), 1);
    const uint32_t monoFrameBytes = probe.FrameOffset(2) - probe.FrameOffset(1);
    const uint32_t monoStart = probe.FrameOffset(1);
    uint32_t stereoWord = 0;
    for (int i = 0; i < 4; ++i)
        stereoWord = (stereoWord << 8) | stereoBytes[PlaceOf(stereo, 1).offset + static_cast<size_t>(i)];

    std::vector<uint8_t> spliced;
    CMpegStream frames;
    ASSERT_EQ(frames.OpenFile(stereo.c_str()), 1);
    for (int i = 0; i < stereoFrames; ++i) {
        const uint32_t from = frames.FrameOffset(i);
        const uint32_t to =
            i + 1 < stereoFrames ? frames.FrameOffset(i + 1) : static_cast<uint32_t>(stereoBytes.size());
        spliced.insert(spliced.end(), stereoBytes.begin() + from, stereoBytes.begin() + to);
        if (i % 7 == 6) {
            for (int m = 0; m < 3; ++m) {
                std::vector<uint8_t> frame(monoBytes.begin() + monoStart,
                                           monoBytes.begin() + monoStart + monoFrameBytes);
                for (const size_t at : {size_t{60}, size_t{200}, size_t{333}})
                    for (int b = 0; b < 4; ++b)
                        frame[at + static_cast<size_t>(b)] = static_cast<uint8_t>(stereoWord >> (24 - 8 * b));
                spliced.insert(spliced.end(), frame.begin(), frame.end());
            }
        }
    }
    const std::string mixed = m_dir.Path("mixed.mp2");
    ASSERT_TRUE(WriteFile(mixed, spliced));

    const auto good = DecodeFrames(stereo);
    const auto heard = DecodeFrames(mixed);
    ASSERT_EQ(heard.size(), good.size()) << "only the stereo frames play";
    const float loudest = Loudest(good);
    // The skipped frames never reach the decoder: every stereo frame plays exactly as in the
    // stereo file, the joins included.
    for (size_t i = 0; i < heard.size(); ++i) {
        EXPECT_LE(Peak(heard[i]), loudest) << "frame " << i;
        EXPECT_EQ(heard[i], good[i]) << "frame " << i;
    }
}

} // namespace
