#include "MpegLayer3Decoder.h"
#include "MpegStream.h"
#include "MpegTestStreams.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

MpegHeader Layer3Header(int version, int mode, int modeExtension)
{
    MpegHeader header;
    header.version = version;
    header.layer = 3;
    header.bitRateIndex = version == 1 ? 9 : 8; // 128 kbit/s, 64 kbit/s
    header.samplingRateIndex = 0;
    header.mode = mode;
    header.modeExtension = modeExtension;
    return header;
}

// One frame: the header, then the payload bytes given (side information and main data), zeros
// after them up to the frame's length.
void AppendFrame(std::vector<uint8_t>& file, const MpegHeader& header, const std::vector<uint8_t>& payload)
{
    const uint32_t word = MpegHeaderWord(header);
    for (int shift = 24; shift >= 0; shift -= 8)
        file.push_back(static_cast<uint8_t>(word >> shift));
    const size_t bytes = static_cast<size_t>(MpegFrameBytes(header)) - 4;
    for (size_t i = 0; i < bytes; ++i)
        file.push_back(i < payload.size() ? payload[i] : 0);
}

std::vector<uint8_t> RandomBytes(size_t count, uint32_t& seed)
{
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return bytes;
}

// Random side information made possible, so that the frame makes sound: for each granule and
// channel of an MPEG-1 stereo frame, 700 bits of Huffman data, at most 288 big_values pairs and
// no window switching (random bytes give a reserved block type or more bits than the frame
// holds, and such a frame is damaged: silent).
void MakePossible(std::vector<uint8_t>& payload, uint32_t& seed)
{
    const auto put = [&payload](size_t bit, int count, uint32_t value) {
        for (int i = 0; i < count; ++i, ++bit) {
            const auto mask = static_cast<uint8_t>(0x80u >> (bit % 8));
            payload[bit / 8] = static_cast<uint8_t>(
                ((value >> (count - 1 - i)) & 1) != 0 ? payload[bit / 8] | mask : payload[bit / 8] & ~mask);
        }
    };
    for (size_t part = 0; part < 4; ++part) {
        const size_t at = 20 + part * 59;
        seed = seed * 1664525u + 1013904223u;
        put(at, 12, 700);
        put(at + 12, 9, (seed >> 8) % 289);
        put(at + 33, 1, 0);
    }
}

class MpegLayer3Decoder : public ::testing::Test {
protected:
    // Writes the frames and opens them as a stream.
    void Open(const std::vector<uint8_t>& file)
    {
        const std::string path = m_dir.Path("frames.mp3");
        ASSERT_TRUE(WriteFile(path, file));
        ASSERT_TRUE(m_stream.OpenFile(path.c_str()));
    }

    CTempDir m_dir;
    CMpegStream m_stream;
    CMpegLayer3Decoder m_decoder;
};

// main_data_begin (the first 9 bits) of 300 bytes, but nothing came before the first frame.
TEST_F(MpegLayer3Decoder, AReservoirReachingBeforeTheStreamGivesSilenceOfTheFramesLength)
{
    uint32_t seed = 3;
    std::vector<uint8_t> payload = RandomBytes(400, seed);
    payload[0] = 300 >> 1;
    payload[1] = static_cast<uint8_t>((payload[1] & 0x7F) | ((300 & 1) << 7));
    std::vector<uint8_t> file;
    AppendFrame(file, Layer3Header(1, 0, 0), payload);
    AppendFrame(file, Layer3Header(1, 0, 0), {}); // all zero: main_data_begin 0, silence
    Open(file);

    ASSERT_TRUE(m_stream.ReadFrame());
    m_decoder.ClearOutput();
    EXPECT_EQ(m_decoder.DecodeFrame(m_stream), 0);
    EXPECT_EQ(m_decoder.OutputLength(), 1152);
    for (int i = 0; i < 1152; ++i) {
        ASSERT_EQ(m_decoder.Left()[i], 0.0f) << i;
        ASSERT_EQ(m_decoder.Right()[i], 0.0f) << i;
    }
    ASSERT_TRUE(m_stream.ReadFrame());
    EXPECT_EQ(m_decoder.DecodeFrame(m_stream), 1152);
}

// Random side information and main data behind valid headers, in every channel mode of both
// versions (intensity and M/S included): every frame decodes to finite samples of the frame's
// length. Out-of-buffer reads are for the sanitizer builds and the fuzzer to find.
TEST_F(MpegLayer3Decoder, RandomFramesDecodeToFiniteOutput)
{
    struct Mode {
        int version;
        int mode;
        int extension;
    };
    constexpr Mode kModes[] = {{1, 0, 0}, {1, 1, 1}, {1, 1, 2}, {1, 1, 3}, {1, 2, 0},
                               {1, 3, 0}, {0, 1, 1}, {0, 1, 3}, {0, 3, 0}, {0, 0, 0}};
    uint32_t seed = 99;
    for (const Mode& m : kModes) {
        std::vector<uint8_t> file;
        const MpegHeader header = Layer3Header(m.version, m.mode, m.extension);
        for (int frame = 0; frame < 40; ++frame) {
            std::vector<uint8_t> payload = RandomBytes(static_cast<size_t>(MpegFrameBytes(header)), seed);
            if (frame % 3 == 0)
                payload[0] = 0; // main_data_begin small enough now and then to decode
            AppendFrame(file, header, payload);
        }
        CMpegStream stream;
        const std::string path = m_dir.Path("random.mp3");
        ASSERT_TRUE(WriteFile(path, file));
        ASSERT_TRUE(stream.OpenFile(path.c_str()));
        CMpegLayer3Decoder decoder;
        int frames = 0;
        while (stream.ReadFrame()) {
            decoder.ClearOutput();
            decoder.DecodeFrame(stream);
            ASSERT_EQ(decoder.OutputLength(), m.version == 1 ? 1152 : 576);
            for (int i = 0; i < decoder.OutputLength(); ++i) {
                ASSERT_TRUE(std::isfinite(decoder.Left()[i])) << "mode " << m.mode << " frame " << frames;
                ASSERT_TRUE(std::isfinite(decoder.Right()[i])) << "mode " << m.mode << " frame " << frames;
            }
            if (m.mode == 3) {
                ASSERT_TRUE(
                    std::equal(decoder.Left(), decoder.Left() + decoder.OutputLength(), decoder.Right()))
                    << "a mono stream writes the same samples to both channels";
            }
            ++frames;
        }
        EXPECT_EQ(frames, 40);
    }
}

// After loud frames, an all-zero frame still sounds (the overlap and the filter bank ring on);
// after Reset it is exactly silent.
TEST_F(MpegLayer3Decoder, ResetForgetsTheOverlapAndTheFilterHistory)
{
    uint32_t seed = 7;
    const MpegHeader header = Layer3Header(1, 0, 0);
    std::vector<uint8_t> file;
    for (int frame = 0; frame < 4; ++frame) {
        std::vector<uint8_t> payload = RandomBytes(400, seed);
        payload[0] = 0;
        payload[1] &= 0x7F; // main_data_begin 0: decodable
        MakePossible(payload, seed);
        AppendFrame(file, header, payload);
    }
    AppendFrame(file, header, {});
    AppendFrame(file, header, {});
    Open(file);

    auto peak = [&] {
        float level = 0.0f;
        for (int i = 0; i < m_decoder.OutputLength(); ++i)
            level = std::max({level, std::fabs(m_decoder.Left()[i]), std::fabs(m_decoder.Right()[i])});
        return level;
    };
    float loud = 0.0f;
    for (int frame = 0; frame < 4; ++frame) {
        ASSERT_TRUE(m_stream.ReadFrame());
        m_decoder.DecodeFrame(m_stream);
        loud = std::max(loud, peak());
    }
    ASSERT_GT(loud, 0.0f) << "the random frames must make sound for this test to mean anything";
    ASSERT_TRUE(m_stream.ReadFrame());
    m_decoder.DecodeFrame(m_stream);
    EXPECT_GT(peak(), 0.0f) << "without Reset the history rings into a silent frame";

    m_decoder.Reset();
    ASSERT_TRUE(m_stream.ReadFrame());
    EXPECT_EQ(m_decoder.DecodeFrame(m_stream), 1152);
    EXPECT_EQ(peak(), 0.0f);
}

} // namespace
