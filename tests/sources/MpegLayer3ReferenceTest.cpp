// Our Layer III decoder against libmpg123 on streams lame makes at test time: every sampling
// rate of MPEG-1 and MPEG-2, constant and variable bit rates, mono, stereo and joint stereo with
// M/S. Both decoders' float output (before any 16-bit conversion) must agree within the
// standard's "full accuracy" bounds: RMS difference below 2^-15 / sqrt(12) and maximum
// difference below 2^-14 of full scale.

#include "MpegReference.h"
#include "MpegStream.h"
#include "MpegTestStreams.h"
#include "TempDir.h"
#include "VectorLanes.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

namespace {

// A test signal lame has to work for: tones moving across the band, noise, and clicks every
// 0.3 s so that start, short and stop blocks appear. The channels differ (so stereo modes
// matter) but share most content (so joint stereo chooses M/S).
void MakeSignal(int rate, double seconds, std::vector<int16_t>& left, std::vector<int16_t>& right)
{
    const int frames = static_cast<int>(rate * seconds);
    left.resize(frames);
    right.resize(frames);
    uint32_t noise = 12345;
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        noise = noise * 1664525u + 1013904223u;
        const double white = (static_cast<double>(noise >> 8) / (1 << 24)) - 0.5;
        const double sweep = std::sin(2.0 * std::numbers::pi * (200.0 + 0.2 * rate * t / seconds) * t);
        const double tone = std::sin(2.0 * std::numbers::pi * 440.0 * t);
        const double click = (i % (rate * 3 / 10)) < 40 ? 0.6 : 0.0;
        const double common = 0.3 * sweep + 0.2 * tone + 0.1 * white + click;
        const double l = common + 0.15 * std::sin(2.0 * std::numbers::pi * 1250.0 * t);
        const double r = 0.8 * common - 0.1 * std::sin(2.0 * std::numbers::pi * 3100.0 * t);
        left[i] = static_cast<int16_t>(std::clamp(l, -1.0, 1.0) * 20000.0);
        right[i] = static_cast<int16_t>(std::clamp(r, -1.0, 1.0) * 20000.0);
    }
}

struct StreamCase {
    const char* name;
    int rate;         // Hz of the input and of the stream
    bool mono;        // lame -m m
    const char* lame; // options besides the input, output and resampling
};

class MpegLayer3Reference : public ::testing::TestWithParam<StreamCase> {};

TEST_P(MpegLayer3Reference, FloatOutputMatchesLibmpg123WithinFullAccuracy)
{
    const StreamCase& c = GetParam();
    CTempDir dir;
    const std::string wav = dir.Path("in.wav");
    const std::string mp3 = dir.Path("out.mp3");
    std::vector<int16_t> left;
    std::vector<int16_t> right;
    MakeSignal(c.rate, 2.5, left, right);
    if (!HaveTool("lame"))
        GTEST_SKIP() << "lame is not installed (scripts/deps.sh installs it)";
    ASSERT_TRUE(WriteStereoWav16(wav, left, right, static_cast<uint32_t>(c.rate)));
    char resample[32];
    std::snprintf(resample, sizeof resample, "%g", c.rate / 1000.0);
    const std::string command = std::string("lame --quiet ") + c.lame + " --resample " + resample + " " +
                                (c.mono ? "-m m " : "") + "'" + wav + "' '" + mp3 + "'";
    ASSERT_TRUE(RunQuiet(command)) << command;

    // Both decoders decode every frame from the first (the encoder's information frame too, to
    // silence), so the outputs line up with no lag.
    MpegDifference figures;
    EXPECT_TRUE(MatchesMpg123(c.name, mp3, 0, &figures));
    std::printf("[ figures  ] %s: rms %.3g (%.2f of bound), peak %.3g (%.2f of bound)\n", c.name, figures.rms,
                figures.rms / kMpegMaxRmsDifference, figures.peak, figures.peak / kMpegMaxPeakDifference);
}

INSTANTIATE_TEST_SUITE_P(Streams, MpegLayer3Reference,
                         ::testing::Values(StreamCase{"mpeg1_44k_joint_128", 44100, false, "-b 128"},
                                           StreamCase{"mpeg1_44k_stereo_320", 44100, false, "-m s -b 320"},
                                           StreamCase{"mpeg1_44k_joint_32", 44100, false, "-b 32"},
                                           StreamCase{"mpeg1_44k_mono_64", 44100, true, "-b 64"},
                                           StreamCase{"mpeg1_44k_vbr0", 44100, false, "-V 0"},
                                           StreamCase{"mpeg1_48k_forced_ms_192", 48000, false, "-m f -b 192"},
                                           StreamCase{"mpeg1_48k_stereo_256", 48000, false, "-m s -b 256"},
                                           StreamCase{"mpeg1_32k_joint_vbr2", 32000, false, "-V 2"},
                                           StreamCase{"mpeg1_32k_mono_40", 32000, true, "-b 40"},
                                           StreamCase{"mpeg2_22k_joint_64", 22050, false, "-b 64"},
                                           StreamCase{"mpeg2_22k_forced_ms_96", 22050, false, "-m f -b 96"},
                                           StreamCase{"mpeg2_24k_stereo_160", 24000, false, "-m s -b 160"},
                                           StreamCase{"mpeg2_24k_mono_48", 24000, true, "-b 48"},
                                           StreamCase{"mpeg2_16k_joint_vbr4", 16000, false, "-V 4"},
                                           StreamCase{"mpeg2_16k_mono_8", 16000, true, "-b 8"}),
                         [](const ::testing::TestParamInfo<StreamCase>& info) {
                             return std::string(info.param.name);
                         });

// Sets the mixed-block flag of every granule whose switched window has block type 1 (start) or
// 3 (stop): nothing else of the side information changes its meaning, only the window of the two
// lowest sub-bands, which a mixed block takes from the normal long block. The number of granules
// changed.
int MixStartAndStopBlocks(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    CMpegStream stream;
    if (stream.OpenFile(path.c_str()) == 0 || stream.ReadFrame() == 0)
        return 0;
    const bool mpeg1 = stream.Version() == 1;
    const int channels = stream.Channels();
    const auto bit = [&bytes](size_t at) { return (bytes[at / 8] >> (7 - at % 8)) & 1; };
    int changed = 0;
    for (int frame = 0; frame < stream.FrameCount(); ++frame) {
        // Clause 2.4.1.7 and 13818-3 clause 2.4.2.7: main_data_begin and the private bits (and
        // scfsi in MPEG-1), then per granule and channel 59 bits (MPEG-1) or 63 (MPEG-2), the
        // window-switching flag 33 or 38 bits in, block type and mixed flag after it.
        const size_t data = (stream.FrameOffset(frame) + 4u + (stream.Protection() == 0 ? 2u : 0u)) * 8u;
        const size_t first =
            data + (mpeg1 ? 9 + (channels == 1 ? 5 : 3) + 4 * channels : 8 + (channels == 1 ? 1 : 2));
        const size_t block = mpeg1 ? 59 : 63;
        const size_t switching = mpeg1 ? 33 : 38;
        for (int part = 0; part < (mpeg1 ? 2 : 1) * channels; ++part) {
            const size_t at = first + static_cast<size_t>(part) * block + switching;
            const int type = bit(at + 1) * 2 + bit(at + 2);
            if (bit(at) == 1 && (type == 1 || type == 3) && bit(at + 3) == 0) {
                bytes[(at + 3) / 8] |= static_cast<uint8_t>(0x80u >> ((at + 3) % 8));
                ++changed;
            }
        }
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return changed;
}

TEST(MpegLayer3MixedBlocks, StartAndStopWindowsWithTheMixedFlagMatchLibmpg123)
{
    if (!HaveTool("lame"))
        GTEST_SKIP() << "lame is not installed (scripts/deps.sh installs it)";
    for (const int rate : {44100, 22050}) {
        SCOPED_TRACE(rate);
        CTempDir dir;
        const std::string wav = dir.Path("in.wav");
        const std::string mp3 = dir.Path("mixed.mp3");
        std::vector<int16_t> left;
        std::vector<int16_t> right;
        MakeSignal(rate, 2.5, left, right);
        ASSERT_TRUE(WriteStereoWav16(wav, left, right, static_cast<uint32_t>(rate)));
        const std::string command = std::string("lame --quiet -m s -b ") + (rate == 44100 ? "256" : "128") +
                                    " --resample " + (rate == 44100 ? "44.1" : "22.05") + " '" + wav + "' '" +
                                    mp3 + "'";
        ASSERT_TRUE(RunQuiet(command)) << command;
        const int changed = MixStartAndStopBlocks(mp3);
        ASSERT_GT(changed, 4) << "the clicks give start and stop windows";
        MpegDifference figures;
        EXPECT_TRUE(
            MatchesMpg123(rate == 44100 ? "mixed_start_stop_44k" : "mixed_start_stop_22k", mp3, 0, &figures));
        std::printf("[ figures  ] %d granules mixed: rms %.3g, peak %.3g\n", changed, figures.rms,
                    figures.peak);
    }
}

// Intensity stereo at the lower sampling rates, on streams whose lines are chosen: the right
// channel stops at a chosen band, so the intensity region starts anywhere, and the positions run
// over every value, the illegal one included.
std::vector<Layer3Frame> IntensityFrames(bool shortBlocks, std::initializer_list<int> lastBands)
{
    std::vector<Layer3Frame> frames;
    const std::vector<int> last(lastBands);
    for (int i = 0; i < 48; ++i) {
        Layer3Frame frame;
        frame.shortBlocks = shortBlocks;
        frame.rightLastBand = last[static_cast<size_t>(i) % last.size()];
        for (int slot = 0; slot < (shortBlocks ? 36 : 21); ++slot)
            frame.rightScaleFactors.push_back((slot * 5 + i * 3) % 8);
        frame.intensityScale = (i / 5) & 1;
        frames.push_back(frame);
    }
    return frames;
}

std::string WriteStream(const CTempDir& dir, const char* name, const std::vector<uint8_t>& bytes)
{
    const std::string path = dir.Path(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

// The top band (long 21, short 12) takes the position of the band below while that band is in
// the intensity region too.
TEST(MpegLayer3LsfIntensity, RegionsStartingAnywhereBelowTheTopBandMatchLibmpg123)
{
    for (const bool shortBlocks : {false, true}) {
        for (const bool midSide : {false, true}) {
            SCOPED_TRACE(testing::Message() << (shortBlocks ? "short" : "long") << (midSide ? " M/S" : ""));
            Layer3Options options;
            options.midSide = midSide;
            options.seed = midSide ? 7 : 3;
            const auto frames = shortBlocks ? IntensityFrames(true, {-1, 0, 1, 3, 5, 8, 9, 10})
                                            : IntensityFrames(false, {-1, 0, 2, 7, 12, 17, 18, 19});
            CTempDir dir;
            const std::string mp3 = WriteStream(dir, "intensity.mp3", EncodeLayer3Lsf(options, frames));
            EXPECT_TRUE(MatchesMpg123("lsf_intensity", mp3, 0));
        }
    }
}

// When the band below the top band is outside the intensity region, the top band has no
// position and is not intensity coded, even where the right channel is silent in it: the stream
// decodes exactly as the same lines and scale factors without intensity stereo. (libmpg123 takes
// the band below's scale factor as a position here, so the stream without intensity is what it
// is compared with.)
TEST(MpegLayer3LsfIntensity, TopBandAloneAboveTheRightChannelIsNotIntensityCoded)
{
    for (const bool shortBlocks : {false, true}) {
        for (const bool midSide : {false, true}) {
            SCOPED_TRACE(testing::Message() << (shortBlocks ? "short" : "long") << (midSide ? " M/S" : ""));
            const auto frames =
                shortBlocks ? IntensityFrames(true, {11, 12}) : IntensityFrames(false, {20, 21});
            Layer3Options options;
            options.midSide = midSide;
            CTempDir dir;
            const std::string withIntensity = WriteStream(dir, "top.mp3", EncodeLayer3Lsf(options, frames));
            options.intensity = false;
            const std::string without = WriteStream(dir, "plain.mp3", EncodeLayer3Lsf(options, frames));

            DecodedAudio ours;
            DecodedAudio reference;
            ASSERT_TRUE(DecodeWithOurs(withIntensity, ours));
            ASSERT_TRUE(DecodeWithMpg123(without, reference));
            const MpegDifference difference = CompareDecodes(ours, reference, 0);
            EXPECT_EQ(difference.compared, 48 * 576);
            EXPECT_LT(difference.rms, kMpegMaxRmsDifference);
            EXPECT_LT(difference.peak, kMpegMaxPeakDifference);
            // The right channel is silent in the top band, so taking it as intensity coded would
            // have put sound there: the check above has something to catch.
            DecodedAudio wrong;
            ASSERT_TRUE(DecodeWithMpg123(withIntensity, wrong));
            EXPECT_GT(CompareDecodes(wrong, reference, 0).peak, 100 * kMpegMaxPeakDifference);
        }
    }
}

// The eight-lane loops (synthesis windowing, long-block transform) and the four-lane ones give
// the same samples, bit for bit, on long and short blocks and on Layer I.
TEST(MpegVectorLanes, EightAndFourLanesDecodeIdentically)
{
    if (!CVectorLanes::ProcessorHasWide())
        GTEST_SKIP() << "this processor has no AVX: only the four-lane loops run";
    CTempDir dir;
    std::vector<Layer3Frame> frames = IntensityFrames(false, {-1, 4, 19});
    const std::vector<Layer3Frame> shortFrames = IntensityFrames(true, {-1, 3, 10});
    frames.insert(frames.end(), shortFrames.begin(), shortFrames.end());
    Layer1Options layer1;
    layer1.frames = 60;
    const std::string paths[] = {WriteStream(dir, "layer3.mp3", EncodeLayer3Lsf(Layer3Options{}, frames)),
                                 WriteStream(dir, "layer1.mp1", EncodeLayer1(layer1))};
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        DecodedAudio wide;
        DecodedAudio narrow;
        ASSERT_TRUE(CVectorLanes::UseWide(true));
        ASSERT_TRUE(DecodeWithOurs(path, wide));
        ASSERT_FALSE(CVectorLanes::UseWide(false));
        const bool decoded = DecodeWithOurs(path, narrow);
        CVectorLanes::UseWide(true);
        ASSERT_TRUE(decoded);
        ASSERT_GT(wide.left.size(), 20000u);
        EXPECT_EQ(wide.left, narrow.left);
        EXPECT_EQ(wide.right, narrow.right);
    }
}

} // namespace
