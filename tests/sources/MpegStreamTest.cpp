#include "MpegStream.h"
#include "MpegTestStreams.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Frame offsets of a stream of frames, found by walking the lengths the test wrote.
std::vector<uint32_t> OffsetsOf(const std::vector<std::vector<uint8_t>>& frames, uint32_t start = 0)
{
    std::vector<uint32_t> offsets;
    for (const auto& frame : frames) {
        offsets.push_back(start);
        start += static_cast<uint32_t>(frame.size());
    }
    return offsets;
}

// MPEG-1 Layer II, 128 kbit/s at 44.1 kHz: 417 or 418 bytes a frame, like most files.
MpegHeader Layer2Header(int bitRateIndex = 8, int mode = 0)
{
    MpegHeader header;
    header.layer = 2;
    header.bitRateIndex = bitRateIndex;
    header.samplingRateIndex = 0;
    header.mode = mode;
    return header;
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes)
{
    to.insert(to.end(), bytes.begin(), bytes.end());
}

// A header word written into bytes at an offset, as a sync-like pattern inside data.
void PutWord(std::vector<uint8_t>& bytes, size_t at, uint32_t word)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(word >> (24 - 8 * i));
}

void PutLittle32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// An ID3v1 tag whose title holds the word.
std::vector<uint8_t> Id3v1Tag(uint32_t word)
{
    std::vector<uint8_t> tag(128, 0);
    tag[0] = 'T';
    tag[1] = 'A';
    tag[2] = 'G';
    PutWord(tag, 10, word);
    return tag;
}

// A 32-byte APE header or footer: "APETAGEX", version 2000, the bytes of the items and the
// footer, one item, and the flags.
std::vector<uint8_t> ApeBlock(uint32_t itemBytes, uint32_t flags)
{
    std::vector<uint8_t> bytes(32, 0);
    const std::string id = "APETAGEX";
    for (size_t i = 0; i < id.size(); ++i)
        bytes[i] = static_cast<uint8_t>(id[i]);
    PutLittle32(bytes, 8, 2000);
    PutLittle32(bytes, 12, itemBytes + 32);
    PutLittle32(bytes, 16, 1);
    PutLittle32(bytes, 20, flags);
    return bytes;
}

// An APEv2 tag of one item whose value holds the word: its footer, and its header when asked.
std::vector<uint8_t> ApeTag(uint32_t word, bool withHeader)
{
    // The item: value size, flags, the key and its terminating zero, a 16-byte value.
    std::vector<uint8_t> item(8 + 6 + 16, 'x');
    PutLittle32(item, 0, 16);
    PutLittle32(item, 4, 0);
    const std::string key = "Title";
    for (size_t i = 0; i < key.size(); ++i)
        item[8 + i] = static_cast<uint8_t>(key[i]);
    item[13] = 0;
    PutWord(item, 18, word);
    const auto itemBytes = static_cast<uint32_t>(item.size());
    std::vector<uint8_t> tag;
    if (withHeader)
        Append(tag, ApeBlock(itemBytes, 0xA0000000u));
    Append(tag, item);
    Append(tag, ApeBlock(itemBytes, withHeader ? 0x80000000u : 0u));
    return tag;
}

class MpegStreamTest : public ::testing::Test {
protected:
    std::string Write(const std::vector<uint8_t>& bytes, const char* name = "stream.mp2")
    {
        const std::string path = m_dir.Path(name);
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }

    // The marker of the frame the stream holds: the first 32 payload bits the test wrote.
    uint32_t Marker() { return m_stream.GetBits(32); }

    CTempDir m_dir;
    CMpegStream m_stream;
};

TEST_F(MpegStreamTest, ConstantBitRateFileOfTenThousandFramesIsIndexedFromAnEstimate)
{
    const std::vector<uint8_t> bytes = MarkedMpegStream(Layer2Header(), 10000);
    ASSERT_EQ(m_stream.OpenFile(Write(bytes).c_str()), 1);
    EXPECT_EQ(m_stream.FrameCount(), 10000);
    EXPECT_FALSE(m_stream.BitRateChanged());

    // The first 768 entries are where the frames are; walk the file to know.
    std::vector<uint32_t> exact;
    for (uint32_t at = 0; at < bytes.size();) {
        exact.push_back(at);
        at += (bytes[at + 2] & 0x02) ? 418 : 417;
    }
    ASSERT_EQ(exact.size(), 10000u);
    for (int i = 0; i < CMpegStream::kExactFrames; ++i)
        ASSERT_EQ(m_stream.FrameOffset(i), exact[i]) << "frame " << i;
    // Beyond them the average distance stands in; it stays within a frame of the truth.
    for (int i = CMpegStream::kExactFrames; i < 10000; i += 97)
        ASSERT_NEAR(static_cast<double>(m_stream.FrameOffset(i)), exact[i], 418.0) << "frame " << i;

    // Seeking to an estimated entry finds a real frame through the header search: the marker is
    // the frame at or just after the estimate.
    for (const int target : {768, 1000, 5000, 9000, 9999}) {
        SCOPED_TRACE(target);
        ASSERT_EQ(m_stream.SeekFrame(target), 1);
        EXPECT_EQ(m_stream.CurrentFrame(), target);
        const uint32_t marker = Marker();
        EXPECT_GE(marker + 1, static_cast<uint32_t>(target));
        EXPECT_LE(marker, static_cast<uint32_t>(target) + 1);
    }
}

TEST_F(MpegStreamTest, BitRateChangeIsIndexedExactlyFrameByFrame)
{
    std::vector<uint8_t> bytes = MarkedMpegStream(Layer2Header(8), 100);
    Append(bytes, MarkedMpegStream(Layer2Header(10), 1900, 100));
    ASSERT_EQ(m_stream.OpenFile(Write(bytes).c_str()), 1);
    ASSERT_EQ(m_stream.FrameCount(), 2000);
    EXPECT_TRUE(m_stream.BitRateChanged());
    for (const int target : {0, 99, 100, 767, 768, 1500, 1999}) {
        SCOPED_TRACE(target);
        ASSERT_EQ(m_stream.SeekFrame(target), 1);
        EXPECT_EQ(Marker(), static_cast<uint32_t>(target));
        EXPECT_EQ(m_stream.BitRate(), target < 100 ? 128 : 192);
    }
}

TEST_F(MpegStreamTest, TagBytesBeforeTheFirstFrameArePassedOver)
{
    // An ID3v2-like tag: text with no byte that could start a sync word.
    std::vector<uint8_t> bytes = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x0F, 0x76};
    while (bytes.size() < 2048)
        bytes.push_back(static_cast<uint8_t>('a' + bytes.size() % 26));
    Append(bytes, MarkedMpegStream(Layer2Header(), 30));
    ASSERT_EQ(m_stream.OpenFile(Write(bytes).c_str()), 1);
    ASSERT_EQ(m_stream.FrameCount(), 30);
    EXPECT_EQ(m_stream.FrameOffset(0), 2048u);
    ASSERT_EQ(m_stream.ReadFrame(), 1);
    EXPECT_EQ(m_stream.CurrentFrame(), 0);
    EXPECT_EQ(Marker(), 0u);
}

TEST_F(MpegStreamTest, InvalidHeadersAreNeverAccepted)
{
    struct Case {
        const char* what;
        MpegHeader header;
        // The bit-rate and mode combinations are checked on the first frame only, as the layer
        // is; later frames need only their own bit-rate index to be valid.
        bool insideStream = true;
    };
    auto with = [](auto change) {
        MpegHeader header = Layer2Header();
        change(header);
        return header;
    };
    const Case cases[] = {
        {"free format (bit-rate index 0)", with([](MpegHeader& h) { h.bitRateIndex = 0; })},
        {"bit-rate index 15", with([](MpegHeader& h) { h.bitRateIndex = 15; })},
        {"sampling-rate index 3", with([](MpegHeader& h) { h.samplingRateIndex = 3; })},
        {"Layer II stereo at 32 kbit/s", with([](MpegHeader& h) { h.bitRateIndex = 1; }), false},
        {"Layer II stereo at 80 kbit/s", with([](MpegHeader& h) { h.bitRateIndex = 5; }), false},
        {"Layer II mono at 224 kbit/s", with([](MpegHeader& h) {
             h.bitRateIndex = 11;
             h.mode = 3;
         }),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes;
        for (int i = 0; i < 8; ++i)
            Append(bytes, MarkedMpegFrame(c.header, 0));
        ASSERT_EQ(m_stream.OpenFile(Write(bytes).c_str()), 1);
        EXPECT_EQ(m_stream.FrameCount(), 0);
        EXPECT_EQ(m_stream.ReadFrame(), 0);
        if (!c.insideStream)
            continue;

        // Between valid frames such a header is garbage: the frames around it are all indexed.
        bytes = MarkedMpegStream(Layer2Header(), 5);
        Append(bytes, MarkedMpegFrame(c.header, 99));
        Append(bytes, MarkedMpegStream(Layer2Header(), 5, 5));
        ASSERT_EQ(m_stream.OpenFile(Write(bytes).c_str()), 1);
        EXPECT_EQ(m_stream.FrameCount(), 10);
        ASSERT_EQ(m_stream.SeekFrame(5), 1);
        EXPECT_EQ(Marker(), 5u);
    }
}

TEST_F(MpegStreamTest, FramesUnlikeTheFirstAreSkippedAsGarbage)
{
    struct Case {
        const char* what;
        MpegHeader odd;
    };
    MpegHeader mono = Layer2Header(8, 3);
    MpegHeader otherRate = Layer2Header();
    otherRate.samplingRateIndex = 1;
    MpegHeader otherVersion = Layer2Header(8);
    otherVersion.version = 0;
    const Case cases[] = {{"a mono frame", mono}, {"48 kHz", otherRate}, {"MPEG-2", otherVersion}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = MarkedMpegStream(Layer2Header(), 10);
        Append(bytes, MarkedMpegFrame(c.odd, 1000));
        Append(bytes, MarkedMpegStream(Layer2Header(), 10, 10));
        ASSERT_EQ(m_stream.OpenFile(Write(bytes).c_str()), 1);
        EXPECT_EQ(m_stream.FrameCount(), 20);
        ASSERT_EQ(m_stream.SeekFrame(9), 1);
        EXPECT_EQ(Marker(), 9u);
        ASSERT_EQ(m_stream.ReadFrame(), 1);
        EXPECT_EQ(m_stream.CurrentFrame(), 10);
        EXPECT_EQ(Marker(), 10u);
        EXPECT_EQ(m_stream.Channels(), 2);
    }
}

TEST_F(MpegStreamTest, FramesOfTheOtherChannelModeArePassedOverWithTheSyncLikeBytesInThem)
{
    // Stereo frames, mono frames whose payloads hold a stereo header and a Layer I one, stereo
    // again: the mono frames are not played, and nothing inside them is taken for a frame.
    MpegHeader layer1 = Layer2Header();
    layer1.layer = 1;
    std::vector<uint8_t> bytes = MarkedMpegStream(Layer2Header(), 10);
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> mono = MarkedMpegFrame(Layer2Header(8, 3), 2000);
        PutWord(mono, 40, MpegHeaderWord(Layer2Header()));
        PutWord(mono, 150, MpegHeaderWord(layer1));
        Append(bytes, mono);
    }
    Append(bytes, MarkedMpegStream(Layer2Header(), 10, 10));
    ASSERT_EQ(m_stream.OpenFile(Write(bytes).c_str()), 1);
    EXPECT_EQ(m_stream.FrameCount(), 20);
    std::vector<uint32_t> markers;
    while (m_stream.ReadFrame() == 1)
        markers.push_back(Marker());
    ASSERT_EQ(markers.size(), 20u);
    for (uint32_t i = 0; i < 20; ++i)
        EXPECT_EQ(markers[i], i);
}

TEST_F(MpegStreamTest, HeadersOfAnotherLayerOrOfTheReservedOneAreNeverFrames)
{
    MpegHeader layer1 = Layer2Header();
    layer1.layer = 1;
    std::vector<uint8_t> reserved = MarkedMpegFrame(Layer2Header(), 3000);
    PutWord(reserved, 0, MpegHeaderWord(Layer2Header()) & ~0x00060000u);
    std::vector<uint8_t> bytes = MarkedMpegStream(Layer2Header(), 10);
    Append(bytes, MarkedMpegFrame(layer1, 1000));
    Append(bytes, reserved);
    Append(bytes, MarkedMpegStream(Layer2Header(), 10, 10));
    ASSERT_EQ(m_stream.OpenFile(Write(bytes).c_str()), 1);
    EXPECT_EQ(m_stream.FrameCount(), 20);
    ASSERT_EQ(m_stream.SeekFrame(9), 1);
    ASSERT_EQ(m_stream.ReadFrame(), 1);
    EXPECT_EQ(Marker(), 10u);
    EXPECT_EQ(m_stream.Layer(), 2);
}

TEST_F(MpegStreamTest, FramesFollowedByTagsOpenAndNothingInsideTheTagsIsAFrame)
{
    const uint32_t word = MpegHeaderWord(Layer2Header());
    struct Case {
        const char* what;
        std::vector<uint8_t> tail;
    };
    std::vector<uint8_t> both = ApeTag(word, true);
    Append(both, Id3v1Tag(word));
    const Case cases[] = {{"ID3v1", Id3v1Tag(word)},
                          {"APE footer", ApeTag(word, false)},
                          {"APE header and footer", ApeTag(word, true)},
                          {"APE and ID3v1", both}};
    for (const Case& c : cases) {
        for (const int frames : {1, 12}) {
            SCOPED_TRACE(testing::Message() << c.what << ", " << frames << " frames");
            std::vector<uint8_t> bytes = MarkedMpegStream(Layer2Header(), frames, 7);
            Append(bytes, c.tail);
            ASSERT_EQ(m_stream.OpenFile(Write(bytes).c_str()), 1);
            EXPECT_EQ(m_stream.FrameCount(), frames);
            int read = 0;
            while (m_stream.ReadFrame() == 1)
                EXPECT_EQ(Marker(), static_cast<uint32_t>(7 + read++));
            EXPECT_EQ(read, frames);
        }
    }
}

TEST_F(MpegStreamTest, TruncatedLastFrameEndsTheStream)
{
    std::vector<uint8_t> bytes = MarkedMpegStream(Layer2Header(), 12);
    const std::vector<uint8_t> last = MarkedMpegFrame(Layer2Header(), 12);
    bytes.insert(bytes.end(), last.begin(), last.begin() + 200);
    ASSERT_EQ(m_stream.OpenFile(Write(bytes).c_str()), 1);
    EXPECT_EQ(m_stream.FrameCount(), 12);
    int frames = 0;
    while (m_stream.ReadFrame() == 1)
        ++frames;
    EXPECT_EQ(frames, 12);
    EXPECT_EQ(m_stream.CurrentFrame(), 11);
    // A seek past the end lands on the last indexed frame.
    ASSERT_EQ(m_stream.SeekFrame(500), 1);
    EXPECT_EQ(m_stream.CurrentFrame(), 11);
    EXPECT_EQ(Marker(), 11u);
}

TEST_F(MpegStreamTest, RunsOfNearHeadersAreSkippedAndThenGivenUp)
{
    // 0xFF bytes all look like sync words but carry bit-rate index 15. After 2048 of them the
    // search jumps 4 KB; after 4096 it gives up.
    std::vector<uint8_t> bytes(3000, 0xFF);
    std::vector<std::vector<uint8_t>> frames;
    MpegHeader header = Layer2Header();
    header.samplingRateIndex = 1; // 48 kHz: every frame 384 bytes, no padding
    for (int i = 0; i < 20; ++i) {
        frames.push_back(MarkedMpegFrame(header, static_cast<uint32_t>(i)));
        Append(bytes, frames.back());
    }
    const std::vector<uint32_t> offsets = OffsetsOf(frames, 3000);
    ASSERT_EQ(m_stream.OpenFile(Write(bytes).c_str()), 1);
    // The 2048th failure is at offset 2047; the search resumes at 2048 + 4096 and finds the
    // next frame after that.
    int first = 0;
    while (offsets[first] < 2048 + 4096)
        ++first;
    EXPECT_EQ(m_stream.FrameCount(), 20 - first);
    EXPECT_EQ(m_stream.FrameOffset(0), offsets[first]);

    std::vector<uint8_t> hopeless(9000, 0xFF);
    Append(hopeless, MarkedMpegStream(header, 5));
    ASSERT_EQ(m_stream.OpenFile(Write(hopeless).c_str()), 1);
    EXPECT_EQ(m_stream.FrameCount(), 0);
}

TEST_F(MpegStreamTest, HeaderFieldsFollowTheStandardsTables)
{
    struct Case {
        MpegHeader header;
        int frameBytes;
        int samplesPerFrame;
        int samplingRate;
        int subbandLimit;
        int mainDataBytes;
    };
    auto header = [](int version, int layer, int rate, int sampling, int padding, int mode, bool crc) {
        MpegHeader h;
        h.version = version;
        h.layer = layer;
        h.bitRateIndex = rate;
        h.samplingRateIndex = sampling;
        h.padding = padding;
        h.mode = mode;
        h.crc = crc;
        return h;
    };
    const Case cases[] = {
        // MPEG-1 Layer III 128 kbit/s 44.1 kHz: 417 bytes, 418 padded; 32 bytes side information.
        {header(1, 3, 9, 0, 0, 0, false), 417, 1152, 44100, 27, 417 - 4 - 32},
        {header(1, 3, 9, 0, 1, 1, true), 418, 1152, 44100, 27, 418 - 6 - 32},
        {header(1, 3, 14, 2, 0, 3, false), 1440, 1152, 32000, 30, 1440 - 4 - 17},
        // MPEG-2 Layer III 64 kbit/s 22.05 kHz: half the slots, 576 samples.
        {header(0, 3, 8, 0, 0, 0, false), 208, 576, 22050, 27, 208 - 4 - 17},
        {header(0, 3, 8, 0, 0, 3, false), 208, 576, 22050, 30, 208 - 4 - 9},
        // Layer II 384 kbit/s 48 kHz; 32 kbit/s mono at 32 kHz uses the 12-band table.
        {header(1, 2, 14, 1, 0, 0, false), 1152, 1152, 48000, 27, 0},
        {header(1, 2, 1, 2, 0, 3, false), 144, 1152, 32000, 12, 0},
        {header(1, 2, 4, 0, 0, 0, false), 208, 1152, 44100, 8, 0},
        // Layer I 448 kbit/s 48 kHz: 112 slots of 4 bytes.
        {header(1, 1, 14, 1, 0, 0, false), 448, 384, 48000, 32, 0},
        {header(1, 1, 1, 0, 1, 0, false), 36, 384, 44100, 32, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "layer " << c.header.layer << " index " << c.header.bitRateIndex);
        ASSERT_EQ(m_stream.OpenFile(Write(MarkedMpegFrame(c.header, 0)).c_str()), 1);
        ASSERT_EQ(m_stream.ReadFrame(), 1);
        EXPECT_EQ(m_stream.FrameBytes(), c.frameBytes);
        EXPECT_EQ(m_stream.SamplesPerFrame(), c.samplesPerFrame);
        EXPECT_EQ(m_stream.SamplingRate(), c.samplingRate);
        EXPECT_FLOAT_EQ(m_stream.FrameDuration(), c.samplesPerFrame * 1000.0f / c.samplingRate);
        EXPECT_EQ(m_stream.SubbandLimit(), c.subbandLimit);
        if (c.header.layer == 3) {
            EXPECT_EQ(m_stream.MainDataBytes(), c.mainDataBytes);
        }
    }
}

TEST_F(MpegStreamTest, JointStereoBoundFollowsTheModeExtension)
{
    for (int extension = 0; extension < 4; ++extension) {
        MpegHeader header;
        header.layer = 1;
        header.bitRateIndex = 10;
        header.mode = 1;
        header.modeExtension = extension;
        ASSERT_EQ(m_stream.OpenFile(Write(MarkedMpegFrame(header, 0)).c_str()), 1);
        ASSERT_EQ(m_stream.ReadFrame(), 1);
        EXPECT_EQ(m_stream.Bound(), 4 * extension + 4);
    }
    // Layer II at 64 kbit/s stereo codes only 8 sub-bands: the bound cannot lie above them.
    MpegHeader low = Layer2Header(4, 1);
    low.modeExtension = 3;
    ASSERT_EQ(m_stream.OpenFile(Write(MarkedMpegFrame(low, 0)).c_str()), 1);
    ASSERT_EQ(m_stream.ReadFrame(), 1);
    EXPECT_EQ(m_stream.Bound(), 8);
}

TEST_F(MpegStreamTest, GetBitsReadsAcrossWordsAndGivesZeroPastTheBuffer)
{
    MpegHeader header = Layer2Header();
    std::vector<uint8_t> frame = MarkedMpegFrame(header, 0x12345678);
    frame[8] = 0x9A;
    frame[9] = 0xBC;
    ASSERT_EQ(m_stream.OpenFile(Write(frame).c_str()), 1);
    ASSERT_EQ(m_stream.ReadFrame(), 1);
    const std::pair<int, uint32_t> reads[] = {
        {4, 0x1}, {8, 0x23}, {0, 0}, {12, 0x456}, {1, 0}, {7, 0x78}, {32, 0x9ABC0000}, {3, 0},
    };
    for (const auto& [bits, expected] : reads)
        EXPECT_EQ(m_stream.GetBits(bits), expected) << bits << " bits";
    EXPECT_EQ(m_stream.BitPosition(), 67);

    // The tail of the payload buffer: the last readable position still reads, one more does not.
    m_stream.SetBitPosition(CMpegStream::kLastReadableBit);
    EXPECT_EQ(m_stream.GetBits(32), 0u);
    EXPECT_EQ(m_stream.GetBits(32), 0u);
    EXPECT_EQ(m_stream.BitPosition(), CMpegStream::kLastReadableBit + 64);
}

TEST_F(MpegStreamTest, CrcIsComputedButNeverRejectsAFrame)
{
    // The standard's CRC-16 (poly 0x8005, preset 0xFFFF, no reflection) of "123456789" is
    // 0xAEE7. A Layer I header whose last two bytes are "12" and a payload "3456789" after the
    // CRC word make exactly that input.
    MpegHeader header;
    header.layer = 1;
    header.bitRateIndex = 3;
    header.crc = true;
    std::vector<uint8_t> frame = MarkedMpegFrame(header, 0);
    frame[2] = '1';
    frame[3] = '2';
    const char* rest = "3456789";
    for (int i = 0; i < 7; ++i)
        frame[6 + i] = static_cast<uint8_t>(rest[i]);
    frame[4] = 0xAE;
    frame[5] = 0xE7;
    std::vector<uint8_t> bytes = frame;
    frame[5] ^= 0x01;
    Append(bytes, frame);

    ASSERT_EQ(m_stream.OpenFile(Write(bytes).c_str()), 1);
    ASSERT_EQ(m_stream.FrameCount(), 2);
    ASSERT_EQ(m_stream.ReadFrame(), 1);
    EXPECT_EQ(m_stream.Protection(), 0);
    EXPECT_TRUE(m_stream.CrcMatches(56));
    EXPECT_EQ(m_stream.GetBits(8), static_cast<uint32_t>('3')); // the payload starts after the CRC word
    EXPECT_EQ(m_stream.ReadFrame(), 1);
    EXPECT_FALSE(m_stream.CrcMatches(56));
}

TEST_F(MpegStreamTest, FilesWithoutFramesOpenEmptyAndMissingFilesFail)
{
    EXPECT_EQ(m_stream.OpenFile(m_dir.Path("missing.mp3").c_str()), 0);
    EXPECT_EQ(m_stream.OpenFile(nullptr), 0);
    EXPECT_EQ(m_stream.ReadFrame(), 0);
    EXPECT_EQ(m_stream.SeekFrame(0), 0);
    const std::vector<std::vector<uint8_t>> empties = {
        {}, {0xFF}, {0xFF, 0xFB, 0x90}, BuildWav(WavFormat{}, std::vector<int16_t>(2000, 0))};
    for (const auto& bytes : empties) {
        ASSERT_EQ(m_stream.OpenFile(Write(bytes).c_str()), 1);
        EXPECT_EQ(m_stream.FrameCount(), 0);
        EXPECT_EQ(m_stream.ReadFrame(), 0);
        EXPECT_EQ(m_stream.CurrentFrame(), 0);
        EXPECT_EQ(m_stream.SamplingRate(), 44100);
        EXPECT_EQ(m_stream.SamplesPerFrame(), 1152);
        EXPECT_EQ(m_stream.FrameDuration(), 0.0f);
    }
}

} // namespace
