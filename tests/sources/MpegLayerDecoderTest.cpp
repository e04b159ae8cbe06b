#include "MpegLayerDecoder.h"
#include "MpegStream.h"
#include "MpegTestStreams.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

namespace {

class MpegLayerDecoderTest : public ::testing::Test {
protected:
    bool Open(const std::vector<uint8_t>& bytes)
    {
        const std::string path = m_dir.Path("stream.mpa");
        return WriteFile(path, bytes) && m_stream.OpenFile(path.c_str()) == 1 && m_stream.ReadFrame() == 1;
    }

    CTempDir m_dir;
    CMpegStream m_stream;
    CMpegLayerDecoder m_decoder;
};

TEST_F(MpegLayerDecoderTest, FramesWithoutAllocatedBitsDecodeToSilence)
{
    for (const int layer : {1, 2}) {
        SCOPED_TRACE(layer);
        MpegHeader header;
        header.layer = layer;
        header.bitRateIndex = 10;
        // Marker 0 and zeros: every allocation field reads 0.
        std::vector<uint8_t> bytes;
        for (int frame = 0; frame < 3; ++frame) {
            const std::vector<uint8_t> one = MarkedMpegFrame(header, 0);
            bytes.insert(bytes.end(), one.begin(), one.end());
        }
        ASSERT_TRUE(Open(bytes));
        do {
            ASSERT_EQ(m_decoder.DecodeFrame(m_stream), layer == 1 ? 384 : 1152);
            for (int i = 0; i < m_decoder.OutputLength(); ++i) {
                ASSERT_EQ(m_decoder.Left()[i], 0.0f);
                ASSERT_EQ(m_decoder.Right()[i], 0.0f);
            }
        } while (m_stream.ReadFrame() == 1);
    }
}

TEST_F(MpegLayerDecoderTest, SingleChannelStreamsWriteBothOutputs)
{
    Layer1Options options;
    options.mode = 3;
    options.frames = 5;
    ASSERT_TRUE(Open(EncodeLayer1(options)));
    double energy = 0.0;
    do {
        ASSERT_EQ(m_decoder.DecodeFrame(m_stream), 384);
        for (int i = 0; i < 384; ++i) {
            ASSERT_EQ(m_decoder.Left()[i], m_decoder.Right()[i]);
            energy += m_decoder.Left()[i] * m_decoder.Left()[i];
        }
    } while (m_stream.ReadFrame() == 1);
    EXPECT_GT(energy, 1.0);
}

TEST_F(MpegLayerDecoderTest, CorruptPayloadsDecodeToBoundedOutput)
{
    // Valid headers of every layer, mode and table, followed by random bytes.
    std::mt19937 random(11);
    struct Case {
        int version, layer, bitRateIndex, samplingRateIndex, mode;
    };
    const Case cases[] = {
        {1, 1, 14, 1, 0}, {1, 1, 5, 0, 1}, {1, 1, 3, 2, 3}, {0, 1, 8, 0, 2}, {1, 2, 14, 1, 0},
        {1, 2, 4, 0, 1},  {1, 2, 6, 2, 0}, {1, 2, 2, 0, 3}, {0, 2, 8, 1, 1}, {0, 2, 14, 2, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "layer " << c.layer << " index " << c.bitRateIndex << " mode " << c.mode);
        MpegHeader header;
        header.version = c.version;
        header.layer = c.layer;
        header.bitRateIndex = c.bitRateIndex;
        header.samplingRateIndex = c.samplingRateIndex;
        header.mode = c.mode;
        header.modeExtension = 3;
        std::vector<uint8_t> bytes;
        for (int frame = 0; frame < 20; ++frame) {
            std::vector<uint8_t> one = MarkedMpegFrame(header, 0);
            for (size_t i = 4; i < one.size(); ++i)
                one[i] = static_cast<uint8_t>(random() & 0x7F); // no sync word inside
            bytes.insert(bytes.end(), one.begin(), one.end());
        }
        ASSERT_TRUE(Open(bytes));
        int frames = 0;
        do {
            m_decoder.DecodeFrame(m_stream);
            for (int i = 0; i < m_decoder.OutputLength(); ++i) {
                ASSERT_TRUE(std::isfinite(m_decoder.Left()[i]) && std::fabs(m_decoder.Left()[i]) < 1000.0f);
                ASSERT_TRUE(std::isfinite(m_decoder.Right()[i]) && std::fabs(m_decoder.Right()[i]) < 1000.0f);
            }
            ++frames;
        } while (m_stream.ReadFrame() == 1);
        EXPECT_EQ(frames, 20);
    }
}

TEST_F(MpegLayerDecoderTest, ResetMakesAFrameDecodeAsIfTheStreamStartedThere)
{
    Layer1Options options;
    options.frames = 6;
    ASSERT_TRUE(Open(EncodeLayer1(options)));
    std::vector<float> sequential;
    do {
        m_decoder.DecodeFrame(m_stream);
        sequential.assign(m_decoder.Left(), m_decoder.Left() + 384);
    } while (m_stream.CurrentFrame() < 5 && m_stream.ReadFrame() == 1);

    // Frame 5 alone after a reset differs from frame 5 after its predecessors...
    CMpegLayerDecoder other;
    ASSERT_EQ(m_stream.SeekFrame(5), 1);
    other.DecodeFrame(m_stream);
    const std::vector<float> alone(other.Left(), other.Left() + 384);
    EXPECT_NE(alone, sequential);
    // ...and a reset decoder agrees with a fresh one.
    m_decoder.Reset();
    ASSERT_EQ(m_stream.SeekFrame(5), 1);
    m_decoder.DecodeFrame(m_stream);
    EXPECT_EQ(std::vector<float>(m_decoder.Left(), m_decoder.Left() + 384), alone);
}

} // namespace
