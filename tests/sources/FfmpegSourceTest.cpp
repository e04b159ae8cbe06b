// The FFmpeg-backed source on files the Debian encoders make at test time: lossless formats
// bit-exact against their WAV source, lossy ones within a measured error, seeks equal to a full
// decode, rates and channel counts the deck cannot take converted, and hostile files refused.
#include "FfmpegSource.h"

#include "EncodedTracks.h"
#include "MpegReference.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <unistd.h>

namespace {

constexpr int kBlock = CFfmpegSource::kBlockFrames;

bool HaveEncoders()
{
    return HaveTool("flac") && HaveTool("ffmpeg") && HaveTool("oggenc") && HaveTool("opusenc");
}

// Opus always decodes at 48 kHz; the others keep the file's rate.
int RateFor(const TrackFormat& format)
{
    return format.codec == TrackCodec::Opus ? 48000 : 44100;
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Largest difference between two stretches of frames, both channels.
int MaxDifference(const PcmTrack& a, size_t fromA, const PcmTrack& b, size_t fromB, size_t frames)
{
    int largest = 0;
    for (size_t i = 0; i < frames; ++i) {
        largest = std::max(largest, std::abs(a.left[fromA + i] - b.left[fromB + i]));
        largest = std::max(largest, std::abs(a.right[fromA + i] - b.right[fromB + i]));
    }
    return largest;
}

double Amplitude(const std::vector<int16_t>& samples, double hz, double rate, size_t from, size_t count)
{
    double re = 0.0;
    double im = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double phase = 2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate;
        re += samples[from + i] * std::cos(phase);
        im += samples[from + i] * std::sin(phase);
    }
    return 2.0 * std::hypot(re, im) / static_cast<double>(count);
}

class FfmpegFormat : public ::testing::TestWithParam<TrackFormat> {
protected:
    void SetUp() override
    {
        if (!HaveEncoders())
            GTEST_SKIP() << "flac, ffmpeg, oggenc or opusenc missing";
    }

    // Encodes a track and decodes it again; the path of the encoded file.
    std::string Encode(const PcmTrack& source, const std::string& name)
    {
        const std::string wav = m_dir.Path(name + ".wav");
        const std::string encoded = m_dir.Path(name + GetParam().extension);
        EXPECT_TRUE(WritePcmTrack(wav, source));
        EXPECT_TRUE(EncodeTrack(GetParam().codec, wav, encoded)) << GetParam().name;
        return encoded;
    }

    CTempDir m_dir;
};

} // namespace

TEST_P(FfmpegFormat, DecodesTheWholeTrackAtItsLengthAndLosslessOnesExactly)
{
    const TrackFormat& format = GetParam();
    const int rate = RateFor(format);
    // 3.3 s: blocks of 4096 do not divide it, so the last block is short.
    const int frames = rate * 33 / 10;
    const PcmTrack noise = NoiseTrack(rate, frames, 27);
    const PcmTrack tone = ToneTrack(rate, frames, 1000.0, 16000.0);
    PcmTrack decodedNoise;
    PcmTrack decodedTone;
    ASSERT_TRUE(DecodeTrack(Encode(noise, "noise"), decodedNoise));
    ASSERT_TRUE(DecodeTrack(Encode(tone, "tone"), decodedTone));
    EXPECT_EQ(decodedNoise.rate, rate);

    CFfmpegSource source;
    ASSERT_NE(source.Open(m_dir.Path(std::string("noise") + format.extension).c_str()), 0);
    if (format.codec == TrackCodec::Wma) {
        // ASF states its length in 100 ns units of the whole file, padding included.
        EXPECT_NEAR(static_cast<double>(decodedNoise.left.size()), frames, 4096.0);
    } else {
        EXPECT_EQ(source.GetTotalFrames(), frames);
        EXPECT_EQ(decodedNoise.left.size(), static_cast<size_t>(frames));
    }
    EXPECT_EQ(source.GetBlockCount(), (frames + kBlock - 1) / kBlock);

    const double noiseSnr = SnrDb(noise, decodedNoise);
    const double toneSnr = SnrDb(tone, decodedTone);
    RecordProperty("NoiseSnrDb", std::to_string(noiseSnr));
    RecordProperty("ToneSnrDb", std::to_string(toneSnr));
    std::printf("%s: SNR noise %.1f dB, 1 kHz tone %.1f dB\n", format.name, noiseSnr, toneSnr);
    if (format.lossless) {
        ASSERT_EQ(decodedNoise.left, noise.left);
        ASSERT_EQ(decodedNoise.right, noise.right);
        ASSERT_EQ(decodedTone.left, tone.left);
    } else if (format.codec == TrackCodec::Wma) {
        // ASF keeps no encoder delay, so the decode is late by it: the tone's level shows it
        // decodes right.
        const size_t from = decodedTone.left.size() / 4;
        EXPECT_NEAR(Amplitude(decodedTone.left, 1000.0, rate, from, static_cast<size_t>(rate)), 16000.0,
                    1600.0);
    } else {
        // Measured on Debian 12 (oggenc -q 6, opusenc 192 kb/s, FFmpeg's AAC at 256 kb/s): white
        // noise 5.4 (Opus) to 9.9 dB (AAC), the 1 kHz tone 41 to 50 dB. Perceptual coders shape
        // their error under the noise, so its figure is low by design; a misplaced or
        // mis-scaled decode gives 0 dB or less on both.
        EXPECT_GT(noiseSnr, 4.0);
        EXPECT_GT(toneSnr, 35.0);
    }
}

TEST_P(FfmpegFormat, SeekGivesTheSamplesOfAFullDecode)
{
    const TrackFormat& format = GetParam();
    const int rate = RateFor(format);
    const PcmTrack noise = NoiseTrack(rate, rate * 6, 5);
    const std::string path = Encode(noise, "seek");
    PcmTrack whole;
    ASSERT_TRUE(DecodeTrack(path, whole));

    CFfmpegSource source;
    ASSERT_NE(source.Open(path.c_str()), 0);
    std::vector<int16_t> left(kBlock);
    std::vector<int16_t> right(kBlock);
    const int last = static_cast<int>(whole.left.size() / kBlock) - 1;
    // Forwards far, backwards, to the start, to the next block, and the last whole block.
    for (const int block : {40, 7, 0, 1, 23, last}) {
        source.SeekBlock(block);
        ASSERT_EQ(source.ReadBlock(left.data(), right.data()), kBlock) << "block " << block;
        EXPECT_EQ(source.GetCurrentBlock(), block + 1);
        const size_t at = static_cast<size_t>(block) * kBlock;
        const PcmTrack got{rate, left, right};
        const int difference = MaxDifference(got, 0, whole, at, kBlock);
        if (format.lossless)
            ASSERT_EQ(difference, 0) << "block " << block;
        else
            // A lossy decoder restarted a pre-roll before the target is within rounding of the
            // full decode; a misplaced block would differ by the signal itself (thousands).
            ASSERT_LE(difference, 2) << "block " << block;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FfmpegFormat, ::testing::ValuesIn(AllTrackFormats()),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

class FfmpegSourceFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveEncoders())
            GTEST_SKIP() << "flac, ffmpeg, oggenc or opusenc missing";
    }

    // A WAV file of any channel count from interleaved 16-bit samples, encoded by ffmpeg.
    std::string FfmpegEncoded(const std::string& name, const WavFormat& format,
                              const std::vector<int16_t>& samples, const std::string& codecArguments)
    {
        const std::string wav = m_dir.Path(name + ".wav");
        const std::string out = m_dir.Path(name);
        EXPECT_TRUE(WriteFile(wav, BuildWav(format, samples)));
        EXPECT_TRUE(
            RunQuiet("ffmpeg -nostdin -v error -y -i '" + wav + "' " + codecArguments + " '" + out + "'"));
        return out;
    }

    CTempDir m_dir;
};

int16_t SineSample(int frame, double hz, double amplitude, int rate)
{
    return static_cast<int16_t>(std::lrint(amplitude * std::sin(2.0 * std::numbers::pi * hz * frame / rate)));
}

} // namespace

TEST_F(FfmpegSourceFiles, Flac24BitGivesTheTop16BitsAsTheWavReaderDoes)
{
    // 24-bit samples with every low byte in use: only the top 16 bits may arrive.
    constexpr int kFrames = 30000;
    std::vector<uint8_t> data;
    std::vector<int16_t> expectedLeft;
    std::vector<int16_t> expectedRight;
    std::mt19937 generator(24);
    std::uniform_int_distribution<int32_t> sample(-(1 << 23), (1 << 23) - 1);
    for (int i = 0; i < kFrames; ++i) {
        for (int channel = 0; channel < 2; ++channel) {
            const int32_t value = sample(generator);
            for (int byte = 0; byte < 3; ++byte)
                data.push_back(static_cast<uint8_t>(value >> (8 * byte)));
            (channel == 0 ? expectedLeft : expectedRight).push_back(static_cast<int16_t>(value >> 8));
        }
    }
    const std::string wav = m_dir.Path("deep.wav");
    const std::string flac = m_dir.Path("deep.flac");
    ASSERT_TRUE(WriteFile(wav, BuildWavFromData(WavFormat{1, 2, 44100, 24}, data)));
    ASSERT_TRUE(RunQuiet("flac -s -f -o '" + flac + "' '" + wav + "'"));
    PcmTrack decoded;
    ASSERT_TRUE(DecodeTrack(flac, decoded));
    EXPECT_EQ(decoded.left, expectedLeft);
    EXPECT_EQ(decoded.right, expectedRight);
}

TEST_F(FfmpegSourceFiles, MonoPlaysOnBothChannelsAndSixChannelsAreMixedDown)
{
    constexpr int kRate = 44100;
    constexpr int kFrames = kRate;
    std::vector<int16_t> mono;
    std::vector<int16_t> six;
    for (int i = 0; i < kFrames; ++i) {
        mono.push_back(SineSample(i, 440.0, 12000.0, kRate));
        // 5.1 in WAV order (L R C LFE Ls Rs): 1 kHz front left, 1.5 kHz centre, 100 Hz LFE,
        // 2.5 kHz right surround.
        six.insert(six.end(),
                   {SineSample(i, 1000.0, 10000.0, kRate), 0, SineSample(i, 1500.0, 10000.0, kRate),
                    SineSample(i, 100.0, 10000.0, kRate), 0, SineSample(i, 2500.0, 10000.0, kRate)});
    }
    PcmTrack decoded;
    ASSERT_TRUE(
        DecodeTrack(FfmpegEncoded("mono.flac", WavFormat{1, 1, kRate, 16}, mono, "-c:a flac"), decoded));
    ASSERT_EQ(decoded.left.size(), mono.size());
    EXPECT_EQ(decoded.left, mono);
    EXPECT_EQ(decoded.right, mono);

    CFfmpegSource source;
    const std::string path = FfmpegEncoded("six.flac", WavFormat{1, 6, kRate, 16}, six, "-c:a flac");
    ASSERT_NE(source.Open(path.c_str()), 0);
    EXPECT_EQ(source.GetFileChannels(), 6);
    ASSERT_TRUE(DecodeTrack(path, decoded));
    // The WAV reader's gains: fronts whole, centre and surrounds at -3 dB, LFE dropped, all
    // scaled by 1 / (1 + 0.707 + 0.707) = 0.414.
    const double scale = 1.0 / (1.0 + 2.0 * 0.70710678);
    const struct {
        double hz;
        double left;
        double right;
    } expected[] = {{1000.0, scale, 0.0},
                    {1500.0, 0.70710678 * scale, 0.70710678 * scale},
                    {100.0, 0.0, 0.0},
                    {2500.0, 0.0, 0.70710678 * scale}};
    for (const auto& tone : expected) {
        EXPECT_NEAR(Amplitude(decoded.left, tone.hz, kRate, 0, kRate), 10000.0 * tone.left, 30.0) << tone.hz;
        EXPECT_NEAR(Amplitude(decoded.right, tone.hz, kRate, 0, kRate), 10000.0 * tone.right, 30.0)
            << tone.hz;
    }
}

TEST_F(FfmpegSourceFiles, RatesAbove65535HzAreResampledToTheirHalf)
{
    constexpr int kRate = 96000;
    std::vector<int16_t> tone;
    for (int i = 0; i < kRate * 2; ++i) {
        tone.push_back(SineSample(i, 1000.0, 12000.0, kRate));
        tone.push_back(SineSample(i, 3000.0, 12000.0, kRate));
    }
    const std::string path = FfmpegEncoded("hires.flac", WavFormat{1, 2, kRate, 16}, tone, "-c:a flac");
    CFfmpegSource source;
    ASSERT_NE(source.Open(path.c_str()), 0);
    EXPECT_EQ(source.GetFileRate(), kRate);
    EXPECT_EQ(source.GetSampleRate(), 48000);
    EXPECT_EQ(source.GetTotalFrames(), kRate);
    PcmTrack decoded;
    ASSERT_TRUE(DecodeTrack(path, decoded));
    EXPECT_EQ(decoded.left.size(), static_cast<size_t>(kRate));
    EXPECT_NEAR(Amplitude(decoded.left, 1000.0, 48000.0, 4800, 38400), 12000.0, 120.0);
    EXPECT_NEAR(Amplitude(decoded.right, 3000.0, 48000.0, 4800, 38400), 12000.0, 120.0);
    EXPECT_LT(Amplitude(decoded.left, 3000.0, 48000.0, 4800, 38400), 20.0);
}

TEST_F(FfmpegSourceFiles, BadFilesAreRefusedQuicklyWithAReason)
{
    const PcmTrack tone = ToneTrack(44100, 44100, 440.0, 8000.0);
    const std::string wav = m_dir.Path("tone.wav");
    ASSERT_TRUE(WritePcmTrack(wav, tone));
    ASSERT_TRUE(EncodeTrack(TrackCodec::Aac, wav, m_dir.Path("whole.m4a")));
    const std::vector<uint8_t> m4a = ReadBytes(m_dir.Path("whole.m4a"));

    // ffmpeg writes the moov atom after the audio: the first half of the file has none.
    ASSERT_TRUE(
        WriteFile(m_dir.Path("nomoov.m4a"), std::vector<uint8_t>(m4a.begin(), m4a.begin() + m4a.size() / 2)));
    ASSERT_TRUE(WriteFile(m_dir.Path("empty.ogg"), {}));
    const std::string text = "#EXTM3U\nnot audio at all\n";
    ASSERT_TRUE(WriteFile(m_dir.Path("text.m4a"), std::vector<uint8_t>(text.begin(), text.end())));
    ASSERT_TRUE(RunQuiet("ffmpeg -nostdin -v error -y -i '" + wav + "' -c:a libmp3lame '" +
                         m_dir.Path("mp3.flac") + "'") ||
                RunQuiet("lame --quiet '" + wav + "' '" + m_dir.Path("mp3.flac") + "'"));
    const struct {
        const char* name;
        const char* reason; // a word the error must hold
    } cases[] = {
        {"nomoov.m4a", "header"}, {"empty.ogg", "empty"},          {"text.m4a", "no audio format"},
        {"mp3.flac", "mp3"},      {"missing.opus", "cannot open"},
    };
    for (const auto& bad : cases) {
        CFfmpegSource source;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(source.Open(m_dir.Path(bad.name).c_str()), 0) << bad.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << bad.name;
        ASSERT_NE(source.GetOpenError(), nullptr) << bad.name;
        EXPECT_NE(std::string(source.GetOpenError()).find(bad.reason), std::string::npos)
            << bad.name << ": " << source.GetOpenError();
        EXPECT_EQ(source.GetTitle(), nullptr);
        EXPECT_EQ(source.ReadBlock(nullptr, nullptr), 0);
    }
}

TEST_F(FfmpegSourceFiles, TruncatedOrLyingFlacPlaysWhatIsThere)
{
    const PcmTrack noise = NoiseTrack(44100, 44100 * 4, 9);
    const std::string wav = m_dir.Path("noise.wav");
    ASSERT_TRUE(WritePcmTrack(wav, noise));
    ASSERT_TRUE(EncodeTrack(TrackCodec::Flac, wav, m_dir.Path("noise.flac")));
    std::vector<uint8_t> flac = ReadBytes(m_dir.Path("noise.flac"));
    ASSERT_TRUE(WriteFile(m_dir.Path("cut.flac"),
                          std::vector<uint8_t>(flac.begin(), flac.begin() + flac.size() / 3)));
    // STREAMINFO's total samples: the low 36 bits of bytes 21..26 of the file; claim 2^31.
    flac[21] = static_cast<uint8_t>((flac[21] & 0xF0) | 0x00);
    flac[22] = 0x80;
    flac[23] = flac[24] = flac[25] = 0x00;
    ASSERT_TRUE(WriteFile(m_dir.Path("claims.flac"), flac));

    for (const char* name : {"cut.flac", "claims.flac"}) {
        CFfmpegSource source;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_NE(source.Open(m_dir.Path(name).c_str()), 0) << name << ": " << source.GetOpenError();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        // Never more blocks than the bytes could hold.
        EXPECT_LE(int64_t{source.GetBlockCount()} * kBlock,
                  static_cast<int64_t>(flac.size()) * 2048 + kBlock);
        PcmTrack decoded;
        ASSERT_TRUE(DecodeTrack(m_dir.Path(name), decoded));
        // What is there decodes exactly; a seek past it plays silence at once.
        const size_t there = std::string(name) == "cut.flac" ? noise.left.size() / 4 : noise.left.size();
        ASSERT_GE(decoded.left.size(), there);
        EXPECT_TRUE(std::equal(noise.left.begin(), noise.left.begin() + static_cast<ptrdiff_t>(there),
                               decoded.left.begin()));
        std::vector<int16_t> left(kBlock);
        std::vector<int16_t> right(kBlock);
        source.SeekBlock(source.GetBlockCount() - 1);
        const auto seekStart = std::chrono::steady_clock::now();
        EXPECT_GT(source.ReadBlock(left.data(), right.data()), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - seekStart, std::chrono::seconds(10));
    }
}

TEST_F(FfmpegSourceFiles, AFileEmptiedWhileOpenPlaysSilenceAfterwards)
{
    const PcmTrack noise = NoiseTrack(44100, 44100 * 2, 3);
    const std::string wav = m_dir.Path("noise.wav");
    const std::string aac = m_dir.Path("noise.m4a");
    ASSERT_TRUE(WritePcmTrack(wav, noise));
    ASSERT_TRUE(EncodeTrack(TrackCodec::Aac, wav, aac));
    CFfmpegSource source;
    ASSERT_NE(source.Open(aac.c_str()), 0);
    std::vector<int16_t> left(kBlock);
    std::vector<int16_t> right(kBlock);
    source.SeekBlock(10);
    ASSERT_EQ(source.ReadBlock(left.data(), right.data()), kBlock);
    // A tag editor that rewrites the file in place, caught halfway: the way back to the start
    // opens the file again and finds nothing.
    ASSERT_EQ(truncate(aac.c_str(), 0), 0);
    source.SeekBlock(0);
    EXPECT_EQ(source.ReadBlock(left.data(), right.data()), kBlock);
    EXPECT_TRUE(std::all_of(left.begin(), left.end(), [](int16_t s) { return s == 0; }));
    source.SeekBlock(5);
    EXPECT_EQ(source.ReadBlock(left.data(), right.data()), kBlock);
}
