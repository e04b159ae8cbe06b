// Our Layer I and II decoding against libmpg123 on streams made at test time: Layer II by
// twolame, Layer I by the small writer in tests/support (no packaged encoder writes Layer I).
#include "MpegReference.h"
#include "MpegLayerDecoder.h"
#include "MpegStream.h"
#include "MpegTestStreams.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

// Layers I and II delay both decoders alike: the filter bank starts with the first sample.
constexpr int kLayer12Lag = 0;

// Worst figures per stream type, printed once the suite has run.
std::map<std::string, MpegDifference>& Worst()
{
    static std::map<std::string, MpegDifference> worst;
    return worst;
}

void Record(const std::string& type, const MpegDifference& figures)
{
    MpegDifference& worst = Worst()[type];
    worst.rms = std::max(worst.rms, figures.rms);
    worst.peak = std::max(worst.peak, figures.peak);
    worst.compared += figures.compared;
}

class MpegReference : public ::testing::Test {
public:
    static void TearDownTestSuite()
    {
        for (const auto& [type, figures] : Worst())
            std::printf(
                "[ figures  ] %-22s worst rms %.3g (bound %.3g), worst peak %.3g (bound %.3g), %ld samples\n",
                type.c_str(), figures.rms, kMpegMaxRmsDifference, figures.peak, kMpegMaxPeakDifference,
                figures.compared);
    }

protected:
    CTempDir m_dir;
};

// Frames whose CRC word disagreed with ours, decoding the whole file; -1 if it does not open.
int CrcMismatchesOf(const std::string& path)
{
    CMpegStream stream;
    if (stream.OpenFile(path.c_str()) == 0 || stream.ReadFrame() == 0)
        return -1;
    CMpegLayerDecoder decoder;
    do {
        decoder.DecodeFrame(stream);
    } while (stream.ReadFrame() != 0);
    return decoder.CrcMismatches();
}

struct TwolameCase {
    const char* name;
    int rate;         // Hz of the input; 16, 22.05 and 24 kHz give MPEG-2 streams
    int channels;     // of the input
    const char* mode; // twolame -m: s(tereo), j(oint), d(ual), m(ono)
    int kbps;
    bool crc;
};

// Chosen so that every allocation table is used: 27 and 30 sub-bands (tables a, b), 8 (c, low
// rate at 44.1 kHz), 12 (d, low rate at 32 kHz), and the one table of the lower sampling rates.
constexpr TwolameCase kTwolameCases[] = {
    {"mpeg1-44k-stereo-192", 44100, 2, "s", 192, false},   {"mpeg1-48k-joint-128", 48000, 2, "j", 128, false},
    {"mpeg1-44k-joint-crc-160", 44100, 2, "j", 160, true}, {"mpeg1-44k-dual-256", 44100, 2, "d", 256, false},
    {"mpeg1-32k-stereo-96", 32000, 2, "s", 96, false},     {"mpeg1-44k-mono-48", 44100, 1, "m", 48, false},
    {"mpeg1-32k-mono-64", 32000, 1, "m", 64, false},       {"mpeg1-48k-mono-160", 48000, 1, "m", 160, false},
    {"mpeg2-22k-stereo-64", 22050, 2, "s", 64, false},     {"mpeg2-24k-joint-96", 24000, 2, "j", 96, false},
    {"mpeg2-16k-mono-32", 16000, 1, "m", 32, true},
};

TEST_F(MpegReference, LayerTwoFromTwolameMatchesLibmpg123)
{
    if (!HaveTool("twolame"))
        GTEST_SKIP() << "twolame is not installed (scripts/deps.sh installs it)";
    for (const TwolameCase& c : kTwolameCases) {
        SCOPED_TRACE(c.name);
        const std::string wav = m_dir.Path(std::string(c.name) + ".wav");
        const std::string mp2 = m_dir.Path(std::string(c.name) + ".mp2");
        ASSERT_TRUE(WriteMusicLikeWav(wav, c.rate, c.channels, 2.0));
        // -d pads frames as the standard's slot arithmetic asks (twolame leaves it off by default).
        const std::string command = std::string("twolame --quiet -d -b ") + std::to_string(c.kbps) + " -m " +
                                    c.mode + (c.crc ? " -p" : "") + " '" + wav + "' '" + mp2 + "'";
        ASSERT_TRUE(RunQuiet(command)) << command;
        MpegDifference figures;
        EXPECT_TRUE(MatchesMpg123(c.name, mp2, kLayer12Lag, &figures));
        Record(std::string("layer2-") + (c.rate >= 32000 ? "mpeg1" : "mpeg2"), figures);
        if (c.crc) {
            EXPECT_EQ(CrcMismatchesOf(mp2), 0);
        }
    }
}

struct Layer1Case {
    const char* name;
    Layer1Options options;
};

Layer1Options L1(int version, int rateIndex, int mode, int extension, bool crc)
{
    Layer1Options options;
    options.version = version;
    options.samplingRateIndex = rateIndex;
    options.mode = mode;
    options.modeExtension = extension;
    options.crc = crc;
    options.frames = 120;
    options.seed = static_cast<uint32_t>(version * 100 + rateIndex * 10 + mode + extension);
    return options;
}

TEST_F(MpegReference, LayerOneFromTheTestWriterMatchesLibmpg123)
{
    const Layer1Case cases[] = {
        {"mpeg1-48k-stereo", L1(1, 1, 0, 0, false)},
        {"mpeg1-44k-joint-bound8", L1(1, 0, 1, 1, false)},
        {"mpeg1-44k-joint-bound16-crc", L1(1, 0, 1, 3, true)},
        {"mpeg1-32k-mono", L1(1, 2, 3, 0, false)},
        {"mpeg1-48k-dual-crc", L1(1, 1, 2, 0, true)},
        {"mpeg2-22k-stereo", L1(0, 0, 0, 0, false)},
        {"mpeg2-24k-joint-bound4", L1(0, 1, 1, 0, false)},
        {"mpeg2-16k-mono-crc", L1(0, 2, 3, 0, true)},
    };
    for (const Layer1Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string mp1 = m_dir.Path(std::string(c.name) + ".mp1");
        ASSERT_TRUE(WriteFile(mp1, EncodeLayer1(c.options)));
        MpegDifference figures;
        EXPECT_TRUE(MatchesMpg123(c.name, mp1, kLayer12Lag, &figures));
        EXPECT_EQ(CrcMismatchesOf(mp1), 0);
        Record(std::string("layer1-") + (c.options.version == 1 ? "mpeg1" : "mpeg2"), figures);
    }
}

} // namespace
