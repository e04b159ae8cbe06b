#include "MpegLayer3Stereo.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// M/S: L = (M + S) / sqrt(2), R = (M - S) / sqrt(2).
void MidSide(float* left, float* right, int first, int end)
{
    constexpr float kScale = static_cast<float>(std::numbers::sqrt2 / 2.0);
    for (int i = first; i < end; ++i) {
        const float mid = left[i];
        const float side = right[i];
        left[i] = (mid + side) * kScale;
        right[i] = (mid - side) * kScale;
    }
}

bool AllZero(const float* lines, int first, int end)
{
    for (int i = first; i < end; ++i) {
        if (lines[i] != 0.0f)
            return false;
    }
    return true;
}

// One band [first, end) either intensity coded or not.
void Band(float* left, float* right, int first, int end, bool intensityBand,
          const CMpegLayer3Stereo::Granule& granule, int position, int illegal)
{
    float leftFactor = 1.0f;
    float rightFactor = 1.0f;
    if (intensityBand &&
        CMpegLayer3Stereo::IntensityFactors(granule, position, illegal, leftFactor, rightFactor)) {
        for (int i = first; i < end; ++i) {
            const float sum = left[i];
            left[i] = sum * leftFactor;
            right[i] = sum * rightFactor;
        }
    } else if (granule.midSide) {
        MidSide(left, right, first, end);
    }
}

} // namespace

bool CMpegLayer3Stereo::IntensityFactors(const Granule& granule, int position, int illegal, float& leftFactor,
                                         float& rightFactor)
{
    if (position >= illegal)
        return false;
    if (granule.mpeg1) {
        // is_ratio = tan(is_pos * pi / 12); L = X * ratio / (1 + ratio), R = X / (1 + ratio).
        // Position 6 (ratio infinite) puts everything left.
        if (position == 6) {
            leftFactor = 1.0f;
            rightFactor = 0.0f;
            return true;
        }
        const double ratio = std::tan(position * std::numbers::pi / 12.0);
        leftFactor = static_cast<float>(ratio / (1.0 + ratio));
        rightFactor = static_cast<float>(1.0 / (1.0 + ratio));
        return true;
    }
    // 13818-3: i0 = 2^(-(intensity_scale + 1) / 4); an odd position scales the left channel
    // by i0^((pos + 1) / 2), an even one the right channel by i0^(pos / 2).
    const double base = std::exp2(-(granule.intensityScale + 1) / 4.0);
    leftFactor = 1.0f;
    rightFactor = 1.0f;
    if (position & 1)
        leftFactor = static_cast<float>(std::pow(base, (position + 1) / 2));
    else
        rightFactor = static_cast<float>(std::pow(base, position / 2));
    return true;
}

void CMpegLayer3Stereo::Process(float* left, float* right, const Granule& granule,
                                const ScaleFactorBands& bands, const ScaleFactors& positions)
{
    const int lines = std::clamp(granule.lines, 0, 576);
    if (!granule.intensity) {
        if (granule.midSide)
            MidSide(left, right, 0, lines);
        return;
    }

    const auto& longBounds = bands.longBounds;
    const auto& shortBounds = bands.shortBounds;
    if (granule.blockType != 2) {
        // Long blocks: intensity from the band above the right channel's last non-zero line.
        int band = 21;
        while (band >= 0 && AllZero(right, longBounds[band], longBounds[band + 1]))
            --band;
        // Band 21 has no position of its own: it takes band 20's, and so is intensity coded only
        // when band 20 is.
        const int firstIntensity = band + 1 >= 21 ? 22 : band + 1;
        for (int b = 0; b < 22; ++b) {
            Band(left, right, longBounds[b], longBounds[b + 1], b >= firstIntensity, granule,
                 positions.longs[b], positions.longIllegal[b]);
        }
        return;
    }

    // Short or mixed blocks: each window has its own boundary. In a mixed block the long bands
    // below 36 lines (8 bands at MPEG-1 rates, 6 at the lower ones) join the intensity region
    // only when every window of the short part is zero above them.
    const int longBands = granule.mixed ? (granule.mpeg1 ? 8 : 6) : 0;
    const int firstShort = granule.mixed ? 3 : 0;
    bool shortPartZero = true;
    for (int w = 0; w < 3; ++w) {
        int band = 12;
        auto start = [&](int b) { return 3 * shortBounds[b] + w * (shortBounds[b + 1] - shortBounds[b]); };
        auto end = [&](int b) { return start(b) + shortBounds[b + 1] - shortBounds[b]; };
        while (band >= firstShort && AllZero(right, start(band), end(band)))
            --band;
        if (band >= firstShort)
            shortPartZero = false;
        // Band 12 takes band 11's position, so it is intensity coded only when band 11 is.
        if (band == 11)
            band = 12;
        for (int b = firstShort; b < 13; ++b) {
            Band(left, right, start(b), end(b), b > band, granule, positions.shorts[b][w],
                 positions.shortIllegal[b]);
        }
    }
    if (longBands > 0) {
        int band = longBands - 1;
        if (shortPartZero) {
            while (band >= 0 && AllZero(right, longBounds[band], longBounds[band + 1]))
                --band;
        }
        for (int b = 0; b < longBands; ++b) {
            Band(left, right, longBounds[b], longBounds[b + 1], shortPartZero && b > band, granule,
                 positions.longs[b], positions.longIllegal[b]);
        }
    }
}
