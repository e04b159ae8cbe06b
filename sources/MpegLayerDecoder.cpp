#include "MpegLayerDecoder.h"

#include "MpegStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kModeJointStereo = 1;
constexpr int kLayer1Slots = 12;
constexpr int kLayer2Granules = 12;
constexpr int kForbiddenLayer1Allocation = 15;

// Table 3-B.1: scale factor i multiplies by 2^(1 - i/3). Index 63 is not in the table: a frame
// that holds it is damaged and plays as silence (its entry is never used for sound).
constexpr unsigned kForbiddenScaleFactor = 63;
struct ScaleFactors {
    float value[64];
    ScaleFactors()
    {
        for (int i = 0; i < 64; ++i)
            value[i] = static_cast<float>(std::exp2(1.0 - i / 3.0));
    }
};

const ScaleFactors& ScaleFactorTable()
{
    static const ScaleFactors table;
    return table;
}

// The bits of the frame after its header and CRC word: a frame whose allocation asks for more
// is damaged.
int DataBits(const CMpegStream& stream)
{
    return (stream.PayloadBytes() - (stream.Protection() == 0 ? 2 : 0)) * 8;
}

// A code v of a quantiser with n steps stands for (2v - (n - 1)) / n: the standard's
// C x (s''' + D) of clause 2.4.3.3.4 (Layer I: clause 2.4.3.2.4) written out, since s''' is v
// with its top bit inverted read as a fraction. Codes beyond n - 1 (never written by an encoder)
// land just outside +-1.
inline float Requantise(unsigned v, unsigned steps)
{
    return (2.0f * static_cast<float>(v) - static_cast<float>(steps - 1)) / static_cast<float>(steps);
}

// Table 3-B.4: the Layer II quantisers. 3, 5 and 9 steps code three samples in one codeword.
struct QuantClass {
    unsigned steps;
    int bits; // of one sample, or of the codeword of three grouped samples
    bool grouped;
};

constexpr QuantClass kClasses[] = {
    {3, 5, true},       {5, 7, true},       {7, 3, false},     {9, 10, true},     {15, 4, false},
    {31, 5, false},     {63, 6, false},     {127, 7, false},   {255, 8, false},   {511, 9, false},
    {1023, 10, false},  {2047, 11, false},  {4095, 12, false}, {8191, 13, false}, {16383, 14, false},
    {32767, 15, false}, {65535, 16, false},
};

// The three samples of every codeword of a grouped quantiser, requantised: clause 2.4.3.3.3
// codes them in base "steps", the first sample lowest. Codewords no encoder writes (at or above
// steps^3) give what the arithmetic gives, a last sample outside +-1.
struct GroupedSamples {
    float q3[32][3];
    float q5[128][3];
    float q9[1024][3];
    GroupedSamples()
    {
        Fill(q3[0], 32, 3);
        Fill(q5[0], 128, 5);
        Fill(q9[0], 1024, 9);
    }
    static void Fill(float* out, unsigned words, unsigned steps)
    {
        const float step = 2.0f / static_cast<float>(steps);
        const float offset = static_cast<float>(steps - 1) / static_cast<float>(steps);
        for (unsigned word = 0; word < words; ++word) {
            unsigned rest = word;
            for (int s = 0; s < 3; ++s) {
                out[3 * word + s] = static_cast<float>(rest % steps) * step - offset;
                rest /= steps;
            }
        }
    }
    const float* For(unsigned steps) const { return steps == 3 ? q3[0] : (steps == 5 ? q5[0] : q9[0]); }
};

const GroupedSamples& GroupedTable()
{
    static const GroupedSamples table;
    return table;
}

// Indexes into kClasses for the allocation values 1..15 of a sub-band; 0 means no bits.
enum Q : signed char {
    Q3,
    Q5,
    Q7,
    Q9,
    Q15,
    Q31,
    Q63,
    Q127,
    Q255,
    Q511,
    Q1023,
    Q2047,
    Q4095,
    Q8191,
    Q16383,
    Q32767,
    Q65535
};

struct BandRow {
    int allocationBits; // nbal
    signed char classes[15];
};

// The rows of tables 3-B.2a..d of 11172-3 and B.1 of 13818-3 (lower sampling rates).
constexpr BandRow kRowLowA = {
    4, {Q3, Q7, Q15, Q31, Q63, Q127, Q255, Q511, Q1023, Q2047, Q4095, Q8191, Q16383, Q32767, Q65535}};
constexpr BandRow kRowMidA = {
    4, {Q3, Q5, Q7, Q9, Q15, Q31, Q63, Q127, Q255, Q511, Q1023, Q2047, Q4095, Q8191, Q65535}};
constexpr BandRow kRowHighA = {3, {Q3, Q5, Q7, Q9, Q15, Q31, Q65535}};
constexpr BandRow kRowTopA = {2, {Q3, Q5, Q65535}};
constexpr BandRow kRowLowC = {
    4, {Q3, Q5, Q9, Q15, Q31, Q63, Q127, Q255, Q511, Q1023, Q2047, Q4095, Q8191, Q16383, Q32767}};
constexpr BandRow kRowHighC = {3, {Q3, Q5, Q9, Q15, Q31, Q63, Q127}};
constexpr BandRow kRowLowLsf = {
    4, {Q3, Q5, Q7, Q9, Q15, Q31, Q63, Q127, Q255, Q511, Q1023, Q2047, Q4095, Q8191, Q16383}};
constexpr BandRow kRowMidLsf = {3, {Q3, Q5, Q9, Q15, Q31, Q63, Q127}};
constexpr BandRow kRowHighLsf = {2, {Q3, Q5, Q9}};

// The lower sampling rates of 13818-3 always use their own table of 30 sub-bands.
constexpr int kLsfSubbands = 30;

// Which row codes sub-band sb, given the table (by its sub-band limit: 27 and 30 are tables
// a and b, 8 and 12 are c and d; lsf for the lower sampling rates).
const BandRow& RowFor(int subbandLimit, bool lsf, int sb)
{
    if (lsf)
        return sb < 4 ? kRowLowLsf : (sb < 11 ? kRowMidLsf : kRowHighLsf);
    if (subbandLimit <= 12)
        return sb < 2 ? kRowLowC : kRowHighC;
    return sb < 3 ? kRowLowA : (sb < 11 ? kRowMidA : (sb < 23 ? kRowHighA : kRowTopA));
}

} // namespace

void CMpegLayerDecoder::Reset()
{
    for (CMpegSynthesis& synthesis : m_synthesis)
        synthesis.Reset();
}

int CMpegLayerDecoder::DecodeFrame(CMpegStream& stream)
{
    const int channels = stream.Channels();
    const int layer = stream.Layer();
    int produced = 0;
    if (layer == 1) {
        const int bound = stream.Mode() == kModeJointStereo ? stream.Bound() : kBands;
        produced = DecodeLayer1(stream, channels, channels == 2 ? bound : kBands);
    } else if (layer == 2) {
        const bool lsf = stream.Version() == 0;
        const int limit = lsf ? kLsfSubbands : stream.SubbandLimit();
        const int bound =
            stream.Mode() == kModeJointStereo ? std::min(stream.ModeExtension() * 4 + 4, limit) : limit;
        produced = DecodeLayer2(stream, channels, limit, channels == 2 ? bound : limit, lsf);
    }
    if (produced > 0 && channels == 1)
        std::copy_n(m_left.begin(), produced, m_right.begin());
    m_outputLength = produced;
    return produced;
}

int CMpegLayerDecoder::DecodeLayer1(CMpegStream& stream, int channels, int bound)
{
    // Clause 2.4.1.5: allocation, scale factors, then twelve time slots of samples.
    int allocation[2][kBands] = {};
    for (int sb = 0; sb < kBands; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (sb < bound || ch == 0)
                allocation[ch][sb] = static_cast<int>(stream.GetBits(4));
            else
                allocation[ch][sb] = allocation[0][sb];
        }
    }
    if (!stream.CrcMatches(stream.BitPosition()))
        ++m_crcMismatches;
    // What the standard makes impossible marks a damaged frame, which plays as silence: the
    // forbidden allocation, the scale factor that is not in the table, or more bits than the
    // frame holds.
    bool possible = true;
    int sampleBits = 0;
    for (int sb = 0; sb < kBands; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            possible = possible && allocation[ch][sb] != kForbiddenLayer1Allocation;
            if (allocation[ch][sb] != 0 && (sb < bound || ch == 0))
                sampleBits += kLayer1Slots * (allocation[ch][sb] + 1);
        }
    }
    const ScaleFactors& scaleFactors = ScaleFactorTable();
    float scale[2][kBands] = {};
    for (int sb = 0; sb < kBands; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (allocation[ch][sb] == 0 || allocation[ch][sb] == kForbiddenLayer1Allocation)
                continue;
            const unsigned index = stream.GetBits(6);
            possible = possible && index != kForbiddenScaleFactor;
            scale[ch][sb] = scaleFactors.value[index];
        }
    }
    if (!possible || stream.BitPosition() + sampleBits > DataBits(stream))
        std::memset(allocation, 0, sizeof allocation);
    for (int slot = 0; slot < kLayer1Slots; ++slot) {
        for (int sb = 0; sb < kBands; ++sb) {
            for (int ch = 0; ch < channels; ++ch) {
                const int bits = allocation[ch][sb] + 1;
                if (allocation[ch][sb] == 0) {
                    m_samples[ch][0][sb] = 0.0f;
                } else if (sb < bound || ch == 0) {
                    const unsigned steps = (1u << bits) - 1;
                    const float fraction = Requantise(stream.GetBits(bits), steps);
                    m_samples[ch][0][sb] = fraction * scale[ch][sb];
                    // Above the bound one sample serves both channels, each with its own scale.
                    if (sb >= bound && channels == 2)
                        m_samples[1][0][sb] = fraction * scale[1][sb];
                }
            }
        }
        Synthesize(channels, 1, slot * kBands);
    }
    return kLayer1Slots * kBands;
}

int CMpegLayerDecoder::DecodeLayer2(CMpegStream& stream, int channels, int limit, int bound, bool lsf)
{
    // Clause 2.4.1.6: allocation, scale factor selection, scale factors, then twelve granules of
    // three samples per sub-band.
    const BandRow* rows[kBands] = {};
    int allocation[2][kBands] = {};
    for (int sb = 0; sb < limit; ++sb) {
        rows[sb] = &RowFor(limit, lsf, sb);
        for (int ch = 0; ch < channels; ++ch) {
            if (sb < bound || ch == 0)
                allocation[ch][sb] = static_cast<int>(stream.GetBits(rows[sb]->allocationBits));
            else
                allocation[ch][sb] = allocation[0][sb];
        }
    }
    int selection[2][kBands] = {};
    for (int sb = 0; sb < limit; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (allocation[ch][sb] != 0)
                selection[ch][sb] = static_cast<int>(stream.GetBits(2));
        }
    }
    if (!stream.CrcMatches(stream.BitPosition()))
        ++m_crcMismatches;

    // Three scale factors per sub-band, one for each third of the frame; the selection says
    // which of them the frame transmits (clause 2.4.2.7, scfsi). A damaged frame (a scale
    // factor that is not in the table, or more bits asked for than the frame holds) plays as
    // silence.
    const ScaleFactors& scaleFactors = ScaleFactorTable();
    bool possible = true;
    const auto next = [&stream, &scaleFactors, &possible] {
        const unsigned index = stream.GetBits(6);
        possible = possible && index != kForbiddenScaleFactor;
        return scaleFactors.value[index];
    };
    float scale[2][kBands][3] = {};
    int sampleBits = 0;
    for (int sb = 0; sb < limit; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (allocation[ch][sb] == 0)
                continue;
            if (sb < bound || ch == 0) {
                const QuantClass& quant = kClasses[rows[sb]->classes[allocation[ch][sb] - 1]];
                sampleBits += kLayer2Granules * (quant.grouped ? quant.bits : kGranuleSlots * quant.bits);
            }
            float* part = scale[ch][sb];
            switch (selection[ch][sb]) {
            case 0:
                part[0] = next();
                part[1] = next();
                part[2] = next();
                break;
            case 1:
                part[0] = part[1] = next();
                part[2] = next();
                break;
            case 2:
                part[0] = part[1] = part[2] = next();
                break;
            default:
                part[0] = next();
                part[1] = part[2] = next();
                break;
            }
        }
    }
    if (!possible || stream.BitPosition() + sampleBits > DataBits(stream))
        std::memset(allocation, 0, sizeof allocation);

    // Per sub-band and channel for the whole frame: how its samples are read and requantised.
    struct BandCoding {
        int bits = 0;                   // 0: silent, or a copy of channel 0 above the bound
        const float* grouped = nullptr; // three samples per codeword
        float step = 0.0f;
        float offset = 0.0f;
    };
    BandCoding coding[2][kBands];
    const GroupedSamples& groupedTable = GroupedTable();
    int silentFrom = limit; // sub-bands from here on are silent in every channel
    while (silentFrom > 0 && allocation[0][silentFrom - 1] == 0 &&
           allocation[channels - 1][silentFrom - 1] == 0)
        --silentFrom;
    for (int sb = 0; sb < silentFrom; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (allocation[ch][sb] == 0 || (sb >= bound && ch == 1))
                continue;
            const QuantClass& quant = kClasses[rows[sb]->classes[allocation[ch][sb] - 1]];
            BandCoding& band = coding[ch][sb];
            band.bits = quant.bits;
            if (quant.grouped)
                band.grouped = groupedTable.For(quant.steps);
            // Requantise() with the division taken out of the loop.
            band.step = 2.0f / static_cast<float>(quant.steps);
            band.offset = static_cast<float>(quant.steps - 1) / static_cast<float>(quant.steps);
        }
    }
    for (int ch = 0; ch < channels; ++ch) {
        for (int s = 0; s < kGranuleSlots; ++s)
            std::fill(m_samples[ch][s] + silentFrom, m_samples[ch][s] + kBands, 0.0f);
    }

    for (int granule = 0; granule < kLayer2Granules; ++granule) {
        const int third = granule / 4;
        for (int sb = 0; sb < silentFrom; ++sb) {
            for (int ch = 0; ch < channels; ++ch) {
                const BandCoding& band = coding[ch][sb];
                if (band.bits == 0) {
                    if (allocation[ch][sb] == 0) {
                        for (int s = 0; s < kGranuleSlots; ++s)
                            m_samples[ch][s][sb] = 0.0f;
                    }
                    continue; // above the bound: filled with channel 0's samples
                }
                float fractions[kGranuleSlots];
                if (band.grouped != nullptr) {
                    const float* three = band.grouped + 3 * stream.GetBits(band.bits);
                    fractions[0] = three[0];
                    fractions[1] = three[1];
                    fractions[2] = three[2];
                } else {
                    for (float& fraction : fractions)
                        fraction = static_cast<float>(stream.GetBits(band.bits)) * band.step - band.offset;
                }
                const float scaleHere = scale[ch][sb][third];
                for (int s = 0; s < kGranuleSlots; ++s)
                    m_samples[ch][s][sb] = fractions[s] * scaleHere;
                // Above the bound one sample serves both channels, each with its own scale.
                if (sb >= bound && channels == 2) {
                    const float scaleRight = scale[1][sb][third];
                    for (int s = 0; s < kGranuleSlots; ++s)
                        m_samples[1][s][sb] = fractions[s] * scaleRight;
                }
            }
        }
        Synthesize(channels, kGranuleSlots, granule * kGranuleSlots * kBands);
    }
    return kLayer2Granules * kGranuleSlots * kBands;
}

void CMpegLayerDecoder::Synthesize(int channels, int slots, int firstSample)
{
    float* outputs[2] = {m_left.data(), m_right.data()};
    for (int ch = 0; ch < channels; ++ch) {
        for (int slot = 0; slot < slots; ++slot)
            m_synthesis[ch].Synthesize(m_samples[ch][slot], outputs[ch] + firstSample + slot * kBands);
    }
}
