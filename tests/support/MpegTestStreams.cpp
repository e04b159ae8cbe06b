#include "MpegTestStreams.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace {

// ISO/IEC 11172-3 and 13818-3, table 2.4.2.3, kbit/s.
constexpr int kRates[2][3][15] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
};
constexpr int kSamplingRates[2][4] = {{22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}};

// Bytes per slot and slots per frame numerator (slots = factor x bit rate / sampling rate).
int SlotBytes(const MpegHeader& h)
{
    return h.layer == 1 ? 4 : 1;
}

int SlotFactor(const MpegHeader& h)
{
    if (h.layer == 1)
        return 12;
    if (h.layer == 3 && h.version == 0)
        return 72;
    return 144;
}

class CBitWriter {
public:
    explicit CBitWriter(std::vector<uint8_t>& bytes, size_t startByte) : m_bytes(bytes), m_bit(startByte * 8)
    {
    }
    void Put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            if ((value >> i) & 1)
                m_bytes[m_bit / 8] |= static_cast<uint8_t>(0x80 >> (m_bit % 8));
            ++m_bit;
        }
    }
    size_t Bit() const { return m_bit; }

private:
    std::vector<uint8_t>& m_bytes;
    size_t m_bit;
};

// Layer I allocation codes (bits per sample - 1) by sub-band, before fitting to a bit rate.
constexpr int kBaseAllocation[32] = {14, 14, 11, 11, 6, 6, 5, 5, 3, 3, 3, 3, 2, 2, 1, 1,
                                     1,  1,  1,  1,  1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0};

double ScaleFactor(int index)
{
    return std::exp2(1.0 - index / 3.0);
}

} // namespace

uint32_t MpegHeaderWord(const MpegHeader& h)
{
    return 0xFFF00000u | (static_cast<uint32_t>(h.version & 1) << 19) |
           (static_cast<uint32_t>((4 - h.layer) & 3) << 17) | (static_cast<uint32_t>(h.crc ? 0 : 1) << 16) |
           (static_cast<uint32_t>(h.bitRateIndex & 15) << 12) |
           (static_cast<uint32_t>(h.samplingRateIndex & 3) << 10) |
           (static_cast<uint32_t>(h.padding & 1) << 9) | (static_cast<uint32_t>(h.mode & 3) << 6) |
           (static_cast<uint32_t>(h.modeExtension & 3) << 4);
}

int MpegBitRateKbps(const MpegHeader& h)
{
    if (h.bitRateIndex < 1 || h.bitRateIndex > 14 || h.layer < 1 || h.layer > 3)
        return 0;
    return kRates[h.version & 1][h.layer - 1][h.bitRateIndex];
}

int MpegSamplingRateHz(const MpegHeader& h)
{
    return kSamplingRates[h.version & 1][h.samplingRateIndex & 3];
}

int MpegFrameBytes(const MpegHeader& h)
{
    const int rate = MpegSamplingRateHz(h);
    if (rate == 0 || MpegBitRateKbps(h) == 0)
        return 4;
    return (SlotFactor(h) * MpegBitRateKbps(h) * 1000 / rate + h.padding) * SlotBytes(h);
}

std::vector<uint8_t> MarkedMpegFrame(const MpegHeader& header, uint32_t marker)
{
    std::vector<uint8_t> frame(static_cast<size_t>(std::max(MpegFrameBytes(header), 12)), 0);
    const uint32_t word = MpegHeaderWord(header);
    for (int i = 0; i < 4; ++i)
        frame[i] = static_cast<uint8_t>(word >> (24 - 8 * i));
    const size_t at = header.crc ? 6 : 4;
    for (int i = 0; i < 4; ++i)
        frame[at + i] = static_cast<uint8_t>(marker >> (24 - 8 * i));
    return frame;
}

std::vector<uint8_t> MarkedMpegStream(MpegHeader header, int count, uint32_t firstMarker)
{
    std::vector<uint8_t> stream;
    const int64_t numerator = static_cast<int64_t>(SlotFactor(header)) * MpegBitRateKbps(header) * 1000;
    const int64_t rate = MpegSamplingRateHz(header);
    for (int k = 0; k < count; ++k) {
        header.padding =
            static_cast<int>((k + 1) * numerator / rate - k * numerator / rate - numerator / rate);
        const std::vector<uint8_t> frame = MarkedMpegFrame(header, firstMarker + static_cast<uint32_t>(k));
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    return stream;
}

uint16_t MpegCrc16(const uint8_t* bytes, int bits, uint16_t crc)
{
    for (int i = 0; i < bits; ++i) {
        const int bit = (bytes[i / 8] >> (7 - i % 8)) & 1;
        const bool feedback = ((crc >> 15) & 1) != bit;
        crc = static_cast<uint16_t>(crc << 1);
        if (feedback)
            crc ^= 0x8005;
    }
    return crc;
}

std::vector<uint8_t> EncodeLayer1(const Layer1Options& options)
{
    const int channels = options.mode == 3 ? 1 : 2;
    const int bound = (options.mode == 1) ? 4 * (options.modeExtension + 1) : 32;
    MpegHeader header;
    header.version = options.version;
    header.layer = 1;
    header.samplingRateIndex = options.samplingRateIndex;
    header.mode = options.mode;
    header.modeExtension = options.modeExtension;
    header.crc = options.crc;

    // Fit the allocation to the highest bit rate, then take the lowest rate that holds it.
    std::array<int, 32> allocation{};
    std::copy(std::begin(kBaseAllocation), std::end(kBaseAllocation), allocation.begin());
    auto bitsNeeded = [&] {
        int bits = 32 + (options.crc ? 16 : 0);
        for (int sb = 0; sb < 32; ++sb) {
            const int coded = sb < bound ? channels : 1;
            bits += 4 * coded;
            if (allocation[sb] != 0)
                bits += 6 * channels + 12 * (allocation[sb] + 1) * coded;
        }
        return bits;
    };
    auto capacity = [&](int index) {
        header.bitRateIndex = index;
        header.padding = 0;
        return MpegFrameBytes(header) * 8;
    };
    while (bitsNeeded() > capacity(14)) {
        for (int& a : allocation)
            a = std::max(a - 1, 0);
    }
    int rateIndex = 1;
    while (bitsNeeded() > capacity(rateIndex))
        ++rateIndex;
    header.bitRateIndex = rateIndex;

    std::mt19937 random(options.seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double frequency[2][32];
    double phase[2][32];
    double amplitude[2][32];
    for (int ch = 0; ch < 2; ++ch) {
        for (int sb = 0; sb < 32; ++sb) {
            frequency[ch][sb] = 0.02 + 0.45 * unit(random); // cycles per slot
            phase[ch][sb] = 2.0 * M_PI * unit(random);
            amplitude[ch][sb] = options.level * (0.25 + 0.5 * unit(random)) / (1.0 + 0.4 * sb);
        }
    }

    const int64_t numerator = static_cast<int64_t>(12) * MpegBitRateKbps(header) * 1000;
    const int64_t rate = MpegSamplingRateHz(header);
    std::vector<uint8_t> stream;
    for (int frame = 0; frame < options.frames; ++frame) {
        header.padding =
            static_cast<int>((frame + 1) * numerator / rate - frame * numerator / rate - numerator / rate);
        std::vector<uint8_t> bytes(static_cast<size_t>(MpegFrameBytes(header)), 0);
        const uint32_t word = MpegHeaderWord(header);
        for (int i = 0; i < 4; ++i)
            bytes[i] = static_cast<uint8_t>(word >> (24 - 8 * i));
        const size_t start = options.crc ? 6 : 4;
        CBitWriter writer(bytes, start);

        double value[2][12][32] = {};
        for (int ch = 0; ch < channels; ++ch) {
            for (int sb = 0; sb < 32; ++sb) {
                // A slow swell per sub-band, so scale factors change from frame to frame.
                const double swell = 0.55 + 0.45 * std::sin(0.37 * frame + 1.3 * sb + ch);
                for (int s = 0; s < 12; ++s) {
                    const double t = frame * 12.0 + s;
                    value[ch][s][sb] = amplitude[ch][sb] * swell *
                                       std::sin(2.0 * M_PI * frequency[ch][sb] * t + phase[ch][sb]);
                }
            }
        }

        for (int sb = 0; sb < 32; ++sb) {
            for (int ch = 0; ch < (sb < bound ? channels : 1); ++ch)
                writer.Put(static_cast<uint32_t>(allocation[sb]), 4);
        }
        if (options.crc) {
            const int protectedBits = static_cast<int>(writer.Bit() - start * 8);
            const uint16_t crc =
                MpegCrc16(bytes.data() + start, protectedBits, MpegCrc16(bytes.data() + 2, 16));
            bytes[4] = static_cast<uint8_t>(crc >> 8);
            bytes[5] = static_cast<uint8_t>(crc);
        }
        int scaleIndex[2][32] = {};
        for (int sb = 0; sb < 32; ++sb) {
            if (allocation[sb] == 0)
                continue;
            for (int ch = 0; ch < channels; ++ch) {
                double peak = 0.0;
                for (int s = 0; s < 12; ++s)
                    peak = std::max(peak, std::fabs(value[ch][s][sb]));
                int index = 0;
                while (index < 62 && ScaleFactor(index + 1) >= peak)
                    ++index;
                scaleIndex[ch][sb] = index;
                writer.Put(static_cast<uint32_t>(index), 6);
            }
        }
        for (int s = 0; s < 12; ++s) {
            for (int sb = 0; sb < 32; ++sb) {
                if (allocation[sb] == 0)
                    continue;
                const int bits = allocation[sb] + 1;
                const int steps = (1 << bits) - 1;
                for (int ch = 0; ch < (sb < bound ? channels : 1); ++ch) {
                    const double normalised = value[ch][s][sb] / ScaleFactor(scaleIndex[ch][sb]);
                    const long code = std::lround((normalised * steps + (steps - 1)) / 2.0);
                    writer.Put(static_cast<uint32_t>(std::clamp(code, 0L, static_cast<long>(steps - 1))),
                               bits);
                }
            }
        }
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    return stream;
}

namespace {

// 13818-3 table B.2 (scale-factor band boundaries) for 22.05 and 24 kHz.
constexpr int kLsfLongBounds[2][23] = {
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 114, 136, 162, 194, 232, 278, 332, 394, 464, 540, 576}};
constexpr int kLsfShortBounds[2][14] = {{0, 4, 8, 12, 18, 24, 32, 42, 56, 74, 100, 132, 174, 192},
                                        {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 136, 180, 192}};

// Lines of one channel in transmitted order; short blocks run band by band, window by window.
std::array<int, 576> ChooseLines(std::mt19937& random, bool shortBlocks, int lastBand, int rateIndex)
{
    std::array<int, 576> lines{};
    std::uniform_int_distribution<int> pick(-1, 1);
    if (!shortBlocks) {
        const int end = lastBand < 0 ? 0 : kLsfLongBounds[rateIndex][lastBand + 1];
        for (int i = 0; i < end; ++i)
            lines[i] = pick(random);
        if (lastBand >= 0)
            lines[kLsfLongBounds[rateIndex][lastBand]] = 1; // the band is non-zero for sure
        return lines;
    }
    const int* bounds = kLsfShortBounds[rateIndex];
    for (int band = 0; band <= lastBand; ++band) {
        const int width = bounds[band + 1] - bounds[band];
        for (int w = 0; w < 3; ++w) {
            const int start = 3 * bounds[band] + w * width;
            for (int i = 0; i < width; ++i)
                lines[start + i] = pick(random);
            if (band == lastBand)
                lines[start] = -1;
        }
    }
    return lines;
}

// Quadruples of table B: the four bits inverted, then a sign bit for each non-zero value.
void PutCount1(CBitWriter& out, const std::array<int, 576>& lines, int end)
{
    for (int i = 0; i < end; i += 4) {
        int code = 0;
        for (int k = 0; k < 4; ++k)
            code = code << 1 | (lines[i + k] != 0 ? 1 : 0);
        out.Put(15 - code, 4);
        for (int k = 0; k < 4; ++k) {
            if (lines[i + k] != 0)
                out.Put(lines[i + k] < 0 ? 1 : 0, 1);
        }
    }
}

int Count1Bits(const std::array<int, 576>& lines, int end)
{
    int bits = 0;
    for (int i = 0; i < end; ++i)
        bits += lines[i] != 0 ? 1 : 0;
    return bits + end;
}

// Lines up to the last non-zero one, rounded up to whole quadruples.
int Count1End(const std::array<int, 576>& lines)
{
    int end = 576;
    while (end > 0 && lines[end - 1] == 0)
        --end;
    return (end + 3) / 4 * 4;
}

} // namespace

std::vector<uint8_t> EncodeLayer3Lsf(const Layer3Options& options, const std::vector<Layer3Frame>& frames)
{
    const int rate = options.samplingRateIndex == 1 ? 1 : 0;
    MpegHeader header;
    header.version = 0;
    header.layer = 3;
    header.bitRateIndex = 14; // 160 kbit/s: room for every line of both channels
    header.samplingRateIndex = rate;
    header.mode = 1;
    header.modeExtension = (options.intensity ? 1 : 0) | (options.midSide ? 2 : 0);
    std::mt19937 random(options.seed);
    std::vector<uint8_t> stream;
    for (const Layer3Frame& frame : frames) {
        std::vector<uint8_t> bytes(static_cast<size_t>(MpegFrameBytes(header)), 0);
        const std::array<int, 576> left =
            ChooseLines(random, frame.shortBlocks, frame.shortBlocks ? 12 : 21, rate);
        const std::array<int, 576> right = ChooseLines(random, frame.shortBlocks, frame.rightLastBand, rate);
        const int leftEnd = Count1End(left);
        const int rightEnd = Count1End(right);
        // The right channel's scale factors are 3 bits each. Under intensity scalefac_compress =
        // 2 x (36 slen1 + 6 slen2 + slen3) + intensity_scale (three partitions); otherwise
        // 16 x (5 slen1 + slen2) + 4 slen3 + slen4 (four), the same bands in the same order. The
        // left channel has none.
        const int rightSlots = frame.shortBlocks ? 36 : 21;
        const int rightCompress = options.intensity ? 2 * (36 * 3 + 6 * 3 + 3) + (frame.intensityScale & 1)
                                                    : 16 * (5 * 3 + 3) + 4 * 3 + 3;
        const int rightScaleBits = 3 * rightSlots;
        const int part23[2] = {Count1Bits(left, leftEnd), rightScaleBits + Count1Bits(right, rightEnd)};
        const int compress[2] = {0, rightCompress};

        CBitWriter out(bytes, 0);
        out.Put(MpegHeaderWord(header), 32);
        out.Put(0, 8); // main_data_begin
        out.Put(0, 2); // private bits
        for (int ch = 0; ch < 2; ++ch) {
            out.Put(static_cast<uint32_t>(part23[ch]), 12);
            out.Put(0, 9);   // big_values: every line is in the count1 region
            out.Put(186, 8); // global_gain
            out.Put(static_cast<uint32_t>(compress[ch]), 9);
            if (frame.shortBlocks) {
                out.Put(1, 1);  // window switching
                out.Put(2, 2);  // short blocks
                out.Put(0, 1);  // not mixed
                out.Put(0, 10); // two table selects
                out.Put(0, 9);  // three subblock gains
            } else {
                out.Put(0, 1);
                out.Put(0, 15); // three table selects
                out.Put(0, 7);  // region counts
            }
            out.Put(0, 1); // scalefac_scale
            out.Put(1, 1); // count1 table B
        }
        PutCount1(out, left, leftEnd);
        for (int slot = 0; slot < rightSlots; ++slot) {
            const int value = slot < static_cast<int>(frame.rightScaleFactors.size())
                                  ? frame.rightScaleFactors[static_cast<size_t>(slot)]
                                  : 0;
            out.Put(static_cast<uint32_t>(value & 7), 3);
        }
        PutCount1(out, right, rightEnd);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    return stream;
}
