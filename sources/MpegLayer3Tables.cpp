#include "MpegLayer3Tables.h"

#include <algorithm>
#include <cmath>

namespace {

// 11172-3 Table B.8 (44.1, 48, 32 kHz) and 13818-3 Table B.2 (22.05, 24, 16 kHz), in the
// header's sampling-rate index order.
const ScaleFactorBands kMpeg1Bands[3] = {
    {{0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 52, 62, 74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576},
     {0, 4, 8, 12, 16, 22, 30, 40, 52, 66, 84, 106, 136, 192}},
    {{0, 4, 8, 12, 16, 20, 24, 30, 36, 42, 50, 60, 72, 88, 106, 128, 156, 190, 230, 276, 330, 384, 576},
     {0, 4, 8, 12, 16, 22, 28, 38, 50, 64, 80, 100, 126, 192}},
    {{0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 54, 66, 82, 102, 126, 156, 194, 240, 296, 364, 448, 550, 576},
     {0, 4, 8, 12, 16, 22, 30, 42, 58, 78, 104, 138, 180, 192}},
};
const ScaleFactorBands kMpeg2Bands[3] = {
    {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {0, 4, 8, 12, 18, 24, 32, 42, 56, 74, 100, 132, 174, 192}},
    {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 114, 136, 162, 194, 232, 278, 332, 394, 464, 540, 576},
     {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 136, 180, 192}},
    {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}},
};

struct PowerTables {
    std::array<float, CMpegLayer3Tables::kMaxMagnitude + 1> pow43{};
    std::array<float, CMpegLayer3Tables::kMaxQuarterExponent - CMpegLayer3Tables::kMinQuarterExponent + 1>
        gain{};
};

const PowerTables& Powers()
{
    // Computed in double and rounded once, so every entry is the nearest float.
    static const PowerTables tables = [] {
        PowerTables built;
        for (int i = 0; i <= CMpegLayer3Tables::kMaxMagnitude; ++i)
            built.pow43[i] = static_cast<float>(std::pow(static_cast<double>(i), 4.0 / 3.0));
        for (int q = CMpegLayer3Tables::kMinQuarterExponent; q <= CMpegLayer3Tables::kMaxQuarterExponent; ++q)
            built.gain[q - CMpegLayer3Tables::kMinQuarterExponent] = static_cast<float>(std::exp2(q / 4.0));
        return built;
    }();
    return tables;
}

} // namespace

const ScaleFactorBands& CMpegLayer3Tables::Bands(int version, int samplingRateIndex)
{
    const int index = std::clamp(samplingRateIndex, 0, 2);
    return version == 1 ? kMpeg1Bands[index] : kMpeg2Bands[index];
}

const float* CMpegLayer3Tables::Pow43()
{
    return Powers().pow43.data();
}

float CMpegLayer3Tables::Gain(int quarters)
{
    return Powers()
        .gain[std::clamp(quarters, kMinQuarterExponent, kMaxQuarterExponent) - kMinQuarterExponent];
}
