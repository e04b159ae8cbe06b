#pragma once

#include "MpegLayer3Tables.h"

// Joint-stereo processing of one Layer III granule (ISO/IEC 11172-3 clause 2.4.3.4.9,
// ISO/IEC 13818-3 clause 2.4.3.2 for the intensity positions of the lower sampling rates), on
// the requantised lines in their transmitted order (before short blocks are reordered).
//
// Intensity stereo covers the scale-factor bands above the highest band in which the right
// channel has a non-zero line (per window for short blocks); there the left channel carries the
// sum signal and the right channel's scale factors are the intensity positions. The top band
// (long 21, short 12) carries no position: it takes the band below's, and is intensity coded only
// when that band is. Every other band is M/S decoded when M/S is on, else left as it is.
class CMpegLayer3Stereo {
public:
    struct Granule {
        bool midSide = false;
        bool intensity = false;
        bool mpeg1 = true;      // 11172-3 ratios; else 13818-3 with intensityScale
        int intensityScale = 0; // 13818-3: scalefac_compress & 1 of the right channel
        int blockType = 0;      // of the right channel: 0..3
        bool mixed = false;     // mixed_block_flag of the right channel
        int lines = 576;        // lines that may be non-zero in either channel, 0..576
    };

    // left, right: 576 lines each. positions: the right channel's scale factors.
    static void Process(float* left, float* right, const Granule& granule, const ScaleFactorBands& bands,
                        const ScaleFactors& positions);

    // The factors the left (sum) signal is scaled by for each channel at an intensity
    // position; false for an illegal position (the band is then treated as not intensity
    // coded). illegal: the band's illegal value.
    static bool IntensityFactors(const Granule& granule, int position, int illegal, float& leftFactor,
                                 float& rightFactor);
};
