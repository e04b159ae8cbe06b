#include "MpegLayer3Decoder.h"

#include "MpegHuffman.h"
#include "MpegImdct.h"
#include "MpegStream.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace {

constexpr int kGranuleLines = 576;
constexpr int kSubbands = 32;
constexpr int kSubbandLines = 18;

// Alias-reduction butterflies of 11172-3 clause 2.4.3.4.10.1: cs = 1 / sqrt(1 + c^2),
// ca = c / sqrt(1 + c^2) from the coefficients c of Table B.9.
struct AliasCoefficients {
    float cs[8];
    float ca[8];
    AliasCoefficients()
    {
        const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
        for (int i = 0; i < 8; ++i) {
            const double norm = std::sqrt(1.0 + c[i] * c[i]);
            cs[i] = static_cast<float>(1.0 / norm);
            ca[i] = static_cast<float>(c[i] / norm);
        }
    }
};
const AliasCoefficients kAlias;

} // namespace

CMpegLayer3Decoder::CMpegLayer3Decoder() : m_pow43(CMpegLayer3Tables::Pow43())
{
    Reset();
}

void CMpegLayer3Decoder::Reset()
{
    for (CMpegSynthesis& synthesis : m_synthesis)
        synthesis.Reset();
    for (auto& overlap : m_overlap)
        overlap.fill(0.0f);
    m_reservoirBytes = 0;
    std::fill(m_reservoir.begin(), m_reservoir.begin() + CMpegBitReader::kPaddingBytes, uint8_t{0});
}

void CMpegLayer3Decoder::ChooseBands(int version, int samplingRateIndex)
{
    m_mpeg1 = version == 1;
    m_bands = CMpegLayer3Tables::Bands(version, samplingRateIndex);
    const auto& bounds = m_bands.shortBounds;
    for (int band = 0; band < 13; ++band) {
        const int width = bounds[band + 1] - bounds[band];
        for (int w = 0; w < 3; ++w) {
            for (int k = 0; k < width; ++k) {
                const int transmitted = 3 * bounds[band] + w * width + k;
                const int frequency = bounds[band] + k;
                m_shortOrder[transmitted] =
                    static_cast<int16_t>((frequency / 6) * kSubbandLines + w * 6 + frequency % 6);
            }
        }
    }
    m_bandsChosen = true;
}

// Clause 2.4.1.7 (audio_data side information) and 13818-3 clause 2.4.2.7.
bool CMpegLayer3Decoder::ReadSideInfo(CMpegStream& stream, int granules, int channels)
{
    stream.SetBitPosition(0);
    m_side.mainDataBegin = static_cast<int>(stream.GetBits(m_mpeg1 ? 9 : 8));
    stream.GetBits(m_mpeg1 ? (channels == 1 ? 5 : 3) : (channels == 1 ? 1 : 2)); // private bits
    if (m_mpeg1) {
        for (int ch = 0; ch < channels; ++ch) {
            for (int group = 0; group < 4; ++group)
                m_side.scfsi[ch][group] = static_cast<int>(stream.GetBits(1));
        }
    }
    const auto& longBounds = m_bands.longBounds;
    // What the standard makes impossible marks a damaged frame: more than 288 big_values pairs,
    // a switched window of block type 0 (reserved), or more Huffman bits than the reservoir and
    // the frame hold together.
    bool possible = true;
    int bits = 0;
    for (int gr = 0; gr < granules; ++gr) {
        for (int ch = 0; ch < channels; ++ch) {
            Channel& c = m_side.granules[gr][ch];
            c.part23Length = static_cast<int>(stream.GetBits(12));
            bits += c.part23Length;
            const int bigValues = static_cast<int>(stream.GetBits(9));
            possible = possible && bigValues <= kGranuleLines / 2;
            c.bigValues = std::min(bigValues, kGranuleLines / 2);
            c.globalGain = static_cast<int>(stream.GetBits(8));
            c.scalefacCompress = static_cast<int>(stream.GetBits(m_mpeg1 ? 4 : 9));
            if (stream.GetBits(1)) {
                // Window switching: region0_count is implied (8 bands of short windows or 7 long
                // bands) and region1 runs to the end. Short blocks split at line 36 at every
                // rate; a mixed block does too, since its long part ends there.
                c.blockType = static_cast<int>(stream.GetBits(2));
                possible = possible && c.blockType != 0;
                c.mixed = stream.GetBits(1) != 0;
                c.tableSelect[0] = static_cast<int>(stream.GetBits(5));
                c.tableSelect[1] = static_cast<int>(stream.GetBits(5));
                c.tableSelect[2] = 0;
                for (int w = 0; w < 3; ++w)
                    c.subblockGain[w] = static_cast<int>(stream.GetBits(3));
                c.region1Start = c.blockType == 2 ? 36 : longBounds[8];
                c.region2Start = kGranuleLines;
            } else {
                c.blockType = 0;
                c.mixed = false;
                for (int r = 0; r < 3; ++r)
                    c.tableSelect[r] = static_cast<int>(stream.GetBits(5));
                c.subblockGain = {0, 0, 0};
                const int region0Count = static_cast<int>(stream.GetBits(4));
                const int region1Count = static_cast<int>(stream.GetBits(3));
                c.region1Start = longBounds[std::min(region0Count + 1, 22)];
                c.region2Start = longBounds[std::min(region0Count + region1Count + 2, 22)];
            }
            c.preflag = m_mpeg1 ? static_cast<int>(stream.GetBits(1)) : 0;
            c.scalefacScale = static_cast<int>(stream.GetBits(1));
            c.count1Table = static_cast<int>(stream.GetBits(1));
        }
    }
    return possible && bits <= (m_side.mainDataBegin + std::max(stream.MainDataBytes(), 0)) * 8;
}

int CMpegLayer3Decoder::AppendMainData(CMpegStream& stream)
{
    // Keep only what a later main_data_begin can reach.
    if (m_reservoirBytes > kMaxMainDataBegin) {
        std::memmove(m_reservoir.data(), m_reservoir.data() + m_reservoirBytes - kMaxMainDataBegin,
                     kMaxMainDataBegin);
        m_reservoirBytes = kMaxMainDataBegin;
    }
    const int available = m_reservoirBytes;
    const int bytes = std::clamp(stream.MainDataBytes(), 0, kMaxFrameMainData);
    stream.SetBitPosition(stream.SideInfoBytes() * 8);
    uint8_t* out = m_reservoir.data() + m_reservoirBytes;
    int i = 0;
    for (; i + 4 <= bytes; i += 4) {
        const uint32_t word = stream.GetBits(32);
        out[i] = static_cast<uint8_t>(word >> 24);
        out[i + 1] = static_cast<uint8_t>(word >> 16);
        out[i + 2] = static_cast<uint8_t>(word >> 8);
        out[i + 3] = static_cast<uint8_t>(word);
    }
    for (; i < bytes; ++i)
        out[i] = static_cast<uint8_t>(stream.GetBits(8));
    m_reservoirBytes += bytes;
    std::fill_n(m_reservoir.data() + m_reservoirBytes, CMpegBitReader::kPaddingBytes, uint8_t{0});
    if (m_side.mainDataBegin > available)
        return -1;
    return available - m_side.mainDataBegin;
}

// Clause 2.4.2.7 (scale factors, scfsi) of 11172-3.
void CMpegLayer3Decoder::ReadScaleFactorsMpeg1(const Channel& channel, int granule, int ch)
{
    ScaleFactors& sf = m_scaleFactors[ch];
    const int slen1 = CMpegLayer3Tables::kSlen[0][channel.scalefacCompress & 15];
    const int slen2 = CMpegLayer3Tables::kSlen[1][channel.scalefacCompress & 15];
    if (channel.blockType == 2) {
        int firstShort = 0;
        if (channel.mixed) {
            for (int band = 0; band < 8; ++band)
                sf.longs[band] = static_cast<uint8_t>(m_reader.Read(slen1));
            firstShort = 3;
        }
        for (int band = firstShort; band < 12; ++band) {
            const int slen = band < 6 ? slen1 : slen2;
            for (int w = 0; w < 3; ++w)
                sf.shorts[band][w] = static_cast<uint8_t>(m_reader.Read(slen));
        }
        sf.shorts[12] = sf.shorts[11];
    } else {
        static constexpr int kGroupStart[5] = {0, 6, 11, 16, 21};
        for (int group = 0; group < 4; ++group) {
            if (granule == 1 && m_side.scfsi[ch][group])
                continue; // the first granule's scale factors stay
            const int slen = group < 2 ? slen1 : slen2;
            for (int band = kGroupStart[group]; band < kGroupStart[group + 1]; ++band)
                sf.longs[band] = static_cast<uint8_t>(m_reader.Read(slen));
        }
        sf.longs[21] = sf.longs[20];
    }
    sf.longIllegal.fill(7);
    sf.shortIllegal.fill(7);
}

// 13818-3 clause 2.4.3.2: scalefac_compress chooses the lengths of four partitions of bands;
// for the right channel under intensity stereo it also carries intensity_scale.
void CMpegLayer3Decoder::ReadScaleFactorsMpeg2(Channel& channel, bool intensityRight, int ch)
{
    int slen[4] = {0, 0, 0, 0};
    int row = 0;
    const int compress = channel.scalefacCompress;
    channel.preflag = 0;
    if (intensityRight) {
        m_intensityScale = compress & 1;
        const int value = compress >> 1;
        if (value < 180) {
            slen[0] = value / 36;
            slen[1] = (value % 36) / 6;
            slen[2] = value % 6;
            row = 3;
        } else if (value < 244) {
            const int rest = value - 180;
            slen[0] = (rest & 63) >> 4;
            slen[1] = (rest & 15) >> 2;
            slen[2] = rest & 3;
            row = 4;
        } else {
            const int rest = value - 244;
            slen[0] = rest / 3;
            slen[1] = rest % 3;
            row = 5;
        }
    } else if (compress < 400) {
        slen[0] = (compress >> 4) / 5;
        slen[1] = (compress >> 4) % 5;
        slen[2] = (compress & 15) >> 2;
        slen[3] = compress & 3;
    } else if (compress < 500) {
        const int rest = compress - 400;
        slen[0] = (rest >> 2) / 5;
        slen[1] = (rest >> 2) % 5;
        slen[2] = rest & 3;
        row = 1;
    } else {
        const int rest = compress - 500;
        slen[0] = rest / 3;
        slen[1] = rest % 3;
        row = 2;
        channel.preflag = 1;
    }

    ScaleFactors& sf = m_scaleFactors[ch];
    sf = ScaleFactors{};
    const int kind = channel.blockType == 2 ? (channel.mixed ? 2 : 1) : 0;
    const uint8_t* counts = CMpegLayer3Tables::kPartitionBands[row][kind];
    int slot = 0;
    for (int part = 0; part < 4; ++part) {
        const uint8_t illegal = static_cast<uint8_t>((1 << slen[part]) - 1);
        for (int n = 0; n < counts[part]; ++n, ++slot) {
            const auto value = static_cast<uint8_t>(m_reader.Read(slen[part]));
            // Slots run through the long bands, or the short bands window by window; a mixed
            // block has 6 long bands (36 lines) and then short bands from 3.
            if (kind == 0 || (kind == 2 && slot < 6)) {
                sf.longs[slot] = value;
                sf.longIllegal[slot] = illegal;
            } else {
                const int shortSlot = kind == 2 ? slot - 6 + 9 : slot;
                sf.shorts[shortSlot / 3][shortSlot % 3] = value;
                sf.shortIllegal[shortSlot / 3] = illegal;
            }
        }
    }
    sf.longs[21] = sf.longs[20];
    sf.longIllegal[21] = sf.longIllegal[20];
    sf.shorts[12] = sf.shorts[11];
    sf.shortIllegal[12] = sf.shortIllegal[11];
}

// Clause 2.4.3.4.6: big_values pairs in up to three regions, then count1 quadruples until
// part2_3_length is used up. Returns the lines that may be non-zero.
int CMpegLayer3Decoder::DecodeSpectrum(const Channel& channel, int endBit)
{
    int32_t* out = m_quantised.data();
    if (m_reader.BitPosition() >= endBit)
        return 0;
    const int bigEnd = channel.bigValues * 2;
    const int regionEnds[3] = {std::min(channel.region1Start, bigEnd),
                               std::min(std::max(channel.region2Start, channel.region1Start), bigEnd),
                               bigEnd};
    int line = 0;
    for (int region = 0; region < 3; ++region) {
        const int pairs = std::max(regionEnds[region] - line, 0) / 2;
        const int decoded =
            CMpegHuffman::DecodePairs(m_reader, channel.tableSelect[region], pairs, endBit, out + line);
        if (decoded < 0)
            return line; // ran past part2_3_length: corrupt, keep the regions before it
        line += 2 * pairs;
    }
    return CMpegHuffman::DecodeQuads(m_reader, channel.count1Table, line, endBit, out);
}

// Clause 2.4.3.4.7: xr = sign(is) |is|^(4/3) 2^((global_gain - 210 - 8 subblock_gain) / 4)
// 2^-(scalefac_multiplier (scalefac + preflag pretab)), as powers of 2^(1/4).
int CMpegLayer3Decoder::Requantise(const Channel& channel, int ch, int lines)
{
    float* out = m_lines[ch].data();
    const int32_t* in = m_quantised.data();
    const float* pow43 = m_pow43;
    const ScaleFactors& sf = m_scaleFactors[ch];
    const int base = channel.globalGain - 210;
    const int step = channel.scalefacScale ? 4 : 2; // quarters per scale-factor unit
    auto run = [&](int first, int end, int quarters) {
        const float gain = CMpegLayer3Tables::Gain(quarters);
        // The sign goes on as a bit: a branch on it mispredicts half the time.
        for (int i = first; i < end; ++i) {
            const int32_t value = in[i];
            const int32_t mask = value >> 31;
            const uint32_t sign = static_cast<uint32_t>(mask) & 0x80000000u;
            const uint32_t magnitude = std::bit_cast<uint32_t>(pow43[(value ^ mask) - mask] * gain);
            out[i] = std::bit_cast<float>(magnitude | sign);
        }
    };
    const auto& longBounds = m_bands.longBounds;
    const auto& shortBounds = m_bands.shortBounds;
    auto longBand = [&](int band) {
        const int first = longBounds[band];
        const int end = std::min<int>(longBounds[band + 1], lines);
        if (first >= end)
            return;
        const int factor =
            band < 21 ? sf.longs[band] + channel.preflag * CMpegLayer3Tables::kPretab[band] : 0;
        run(first, end, base - step * factor);
    };
    if (channel.blockType != 2) {
        for (int band = 0; band < 22 && longBounds[band] < lines; ++band)
            longBand(band);
    } else {
        int firstShort = 0;
        if (channel.mixed) {
            for (int band = 0; band < (m_mpeg1 ? 8 : 6); ++band)
                longBand(band);
            firstShort = 3;
        }
        for (int band = firstShort; band < 13 && 3 * shortBounds[band] < lines; ++band) {
            const int width = shortBounds[band + 1] - shortBounds[band];
            for (int w = 0; w < 3; ++w) {
                const int first = 3 * shortBounds[band] + w * width;
                const int end = std::min(first + width, lines);
                if (first >= end)
                    break;
                const int factor = band < 12 ? sf.shorts[band][w] : 0;
                run(first, end, base - 8 * channel.subblockGain[w] - step * factor);
            }
        }
    }
    std::fill(out + lines, out + kGranuleLines, 0.0f);
    return lines;
}

// Clause 2.4.3.4.8: short-block lines go from band-window order to sub-band-window order.
void CMpegLayer3Decoder::Reorder(int ch, const Channel& channel)
{
    float* lines = m_lines[ch].data();
    const int first = channel.mixed ? 36 : 0;
    for (int i = first; i < kGranuleLines; ++i)
        m_reordered[m_shortOrder[i]] = lines[i];
    std::copy(m_reordered.begin() + first, m_reordered.end(), lines + first);
}

void CMpegLayer3Decoder::AliasReduce(int ch, const Channel& channel, int lines)
{
    if (channel.blockType == 2 && !channel.mixed)
        return; // short blocks are not alias reduced; a mixed block only between its long sub-bands
    float* x = m_lines[ch].data();
    const int last =
        channel.blockType == 2 ? 1 : std::min(kSubbands - 1, (lines + kSubbandLines - 1) / kSubbandLines);
#if defined(__SSE2__)
    // The eight butterflies of a boundary as two vectors of four, the upper lines reversed into
    // the same order: the same products and sums line by line.
    const __m128 cs[2] = {_mm_loadu_ps(kAlias.cs), _mm_loadu_ps(kAlias.cs + 4)};
    const __m128 ca[2] = {_mm_loadu_ps(kAlias.ca), _mm_loadu_ps(kAlias.ca + 4)};
    for (int sb = 1; sb <= last; ++sb) {
        float* boundary = x + sb * kSubbandLines;
        for (int half = 0; half < 2; ++half) {
            float* upperFour = boundary - 4 - 4 * half; // lines -(4h + 4) .. -(4h + 1)
            float* lowerFour = boundary + 4 * half;
            const __m128 upperLoaded = _mm_loadu_ps(upperFour);
            const __m128 u = _mm_shuffle_ps(upperLoaded, upperLoaded, _MM_SHUFFLE(0, 1, 2, 3));
            const __m128 d = _mm_loadu_ps(lowerFour);
            const __m128 newUpper = _mm_sub_ps(_mm_mul_ps(u, cs[half]), _mm_mul_ps(d, ca[half]));
            const __m128 newLower = _mm_add_ps(_mm_mul_ps(d, cs[half]), _mm_mul_ps(u, ca[half]));
            _mm_storeu_ps(upperFour, _mm_shuffle_ps(newUpper, newUpper, _MM_SHUFFLE(0, 1, 2, 3)));
            _mm_storeu_ps(lowerFour, newLower);
        }
    }
#else
    for (int sb = 1; sb <= last; ++sb) {
        float* upper = x + sb * kSubbandLines - 1;
        float* lower = x + sb * kSubbandLines;
        for (int i = 0; i < 8; ++i) {
            const float u = upper[-i];
            const float d = lower[i];
            upper[-i] = u * kAlias.cs[i] - d * kAlias.ca[i];
            lower[i] = d * kAlias.cs[i] + u * kAlias.ca[i];
        }
    }
#endif
}

void CMpegLayer3Decoder::Transform(int ch, const Channel& channel, int lines, float* out)
{
    const float* x = m_lines[ch].data();
    float* overlap = m_overlap[ch].data();
    const bool isShort = channel.blockType == 2;
    // Alias reduction spreads a sub-band's lines 8 into the next; short blocks are reordered
    // across the whole granule, so they are all transformed.
    const int active =
        isShort ? kSubbands : std::min(kSubbands, (lines + kSubbandLines - 1) / kSubbandLines + 1);
    for (int sb = 0; sb < kSubbands; ++sb) {
        float* time = m_time.data() + sb;
        float* memory = overlap + sb * kSubbandLines;
        if (sb >= active)
            CMpegImdct::Silent(memory, time, kSubbands);
        else if (isShort && !(channel.mixed && sb < 2))
            CMpegImdct::Short(x + sb * kSubbandLines, memory, time, kSubbands);
        else
            // The two long sub-bands of a mixed block take the normal window, whatever the
            // block type.
            CMpegImdct::Long(x + sb * kSubbandLines,
                             isShort || (channel.mixed && sb < 2) ? 0 : channel.blockType, memory, time,
                             kSubbands);
        // Clause 2.4.3.4.10.5: odd samples of odd sub-bands change sign.
        if (sb & 1) {
            for (int i = 1; i < kSubbandLines; i += 2)
                time[i * kSubbands] = -time[i * kSubbands];
        }
    }
    for (int slot = 0; slot < kSubbandLines; ++slot)
        m_synthesis[ch].Synthesize(m_time.data() + slot * kSubbands, out + slot * kSubbands);
}

int CMpegLayer3Decoder::DecodeFrame(CMpegStream& stream)
{
    if (!m_bandsChosen)
        ChooseBands(stream.Version(), stream.SamplingRateIndex());
    const int granules = m_mpeg1 ? 2 : 1;
    const int channels = stream.Channels();
    const int samples = granules * kGranuleLines;
    m_outputLength = samples;

    // A damaged frame still feeds the reservoir (a later frame may begin in its main data) and
    // plays as silence, as one whose reservoir is not there.
    const bool possible = ReadSideInfo(stream, granules, channels);
    const int mainStart = AppendMainData(stream);
    const bool decodable = possible && mainStart >= 0;
    const bool jointStereo = channels == 2 && stream.Mode() == 1;
    CMpegLayer3Stereo::Granule stereo;
    stereo.midSide = jointStereo && (stream.ModeExtension() & 2) != 0;
    stereo.intensity = jointStereo && (stream.ModeExtension() & 1) != 0;
    stereo.mpeg1 = m_mpeg1;

    int bit = decodable ? mainStart * 8 : 0;
    float* planes[2] = {m_left.data(), m_right.data()};
    for (int gr = 0; gr < granules; ++gr) {
        for (int ch = 0; ch < channels; ++ch) {
            Channel& channel = m_side.granules[gr][ch];
            if (!decodable) {
                m_lines[ch].fill(0.0f);
                m_nonZero[ch] = 0;
                continue;
            }
            m_reader.Start(m_reservoir.data(), m_reservoirBytes, bit);
            const int endBit = bit + channel.part23Length;
            bit = endBit;
            if (m_mpeg1)
                ReadScaleFactorsMpeg1(channel, gr, ch);
            else
                ReadScaleFactorsMpeg2(channel, stereo.intensity && ch == 1, ch);
            m_nonZero[ch] = Requantise(channel, ch, DecodeSpectrum(channel, endBit));
        }
        if (decodable && (stereo.midSide || stereo.intensity)) {
            const Channel& right = m_side.granules[gr][1];
            stereo.intensityScale = m_intensityScale;
            stereo.blockType = right.blockType;
            stereo.mixed = right.mixed;
            stereo.lines = std::max(m_nonZero[0], m_nonZero[1]);
            CMpegLayer3Stereo::Process(m_lines[0].data(), m_lines[1].data(), stereo, m_bands,
                                       m_scaleFactors[1]);
            m_nonZero[0] = m_nonZero[1] = stereo.lines;
        }
        for (int ch = 0; ch < channels; ++ch) {
            const Channel& channel = m_side.granules[gr][ch];
            if (channel.blockType == 2)
                Reorder(ch, channel);
            AliasReduce(ch, channel, m_nonZero[ch]);
            Transform(ch, channel, m_nonZero[ch], planes[ch] + gr * kGranuleLines);
        }
    }
    if (channels == 1)
        std::copy(m_left.begin(), m_left.begin() + samples, m_right.begin());
    if (!decodable) {
        std::fill(m_left.begin(), m_left.begin() + samples, 0.0f);
        std::fill(m_right.begin(), m_right.begin() + samples, 0.0f);
        return 0;
    }
    return samples;
}
