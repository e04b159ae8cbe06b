#pragma once

#include <array>
#include <cstdint>

// Scale-factor band boundaries of one sampling rate, in frequency lines of a granule
// (ISO/IEC 11172-3 Table B.8, ISO/IEC 13818-3 Table B.2): long blocks 22 bands over 576 lines,
// short blocks 13 bands over the 192 lines of each of the three windows.
struct ScaleFactorBands {
    std::array<int16_t, 23> longBounds;
    std::array<int16_t, 14> shortBounds;
};

// The scale factors of one granule and channel as the decoder keeps them. The bands the
// standard does not transmit (long 21, short 12) hold 0, and for intensity stereo the value of
// the band below.
struct ScaleFactors {
    std::array<uint8_t, 22> longs{};
    std::array<std::array<uint8_t, 3>, 13> shorts{}; // [band][window]
    // The intensity position that is illegal in each band (11172-3: 7; 13818-3: the largest
    // value the band's scale-factor length can hold).
    std::array<uint8_t, 22> longIllegal{};
    std::array<uint8_t, 13> shortIllegal{};
};

// Layer III tables of the standards that are not Huffman codes, and the values computed from
// their formulas once: |x|^(4/3) and the powers of 2^(1/4) of requantisation (clause 2.4.3.4.7).
class CMpegLayer3Tables {
public:
    // version: 1 MPEG-1, 0 MPEG-2; samplingRateIndex 0..2 of the header.
    static const ScaleFactorBands& Bands(int version, int samplingRateIndex);

    // pretab of 11172-3 Table B.6, added to the long-block scale factors when preflag is set.
    static constexpr std::array<uint8_t, 22> kPretab = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                        1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};
    // slen1 and slen2 of MPEG-1 scalefac_compress (clause 2.4.2.7).
    static constexpr std::array<std::array<uint8_t, 16>, 2> kSlen = {{
        {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
        {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3},
    }};
    // nr_of_sfb of 13818-3 clause 2.4.3.2 (Table "number of scale factor bands"): rows by the
    // scalefac_compress range (three for the normal case, three for the intensity-stereo right
    // channel), then long / short / mixed blocks, then the four partitions.
    static constexpr uint8_t kPartitionBands[6][3][4] = {
        {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},       {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
        {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}}, {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
        {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},     {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}},
    };

    // Largest quantised magnitude: 15 plus 13 linbits.
    static constexpr int kMaxMagnitude = 15 + 8191;
    // Exponents (in quarters) Gain covers; requantisation clamps to them. The lowest value a
    // stream can ask for is -210 - 8 * 7 - 4 * 30; below -400 the gain is far under one bit.
    static constexpr int kMinQuarterExponent = -400;
    static constexpr int kMaxQuarterExponent = 64;

    // |magnitude|^(4/3), magnitude 0..kMaxMagnitude.
    static const float* Pow43();
    // 2^(quarters / 4), quarters clamped to kMinQuarterExponent..kMaxQuarterExponent.
    static float Gain(int quarters);
};
