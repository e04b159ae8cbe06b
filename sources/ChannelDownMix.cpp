#include "ChannelDownMix.h"

#include <algorithm>
#include <iterator>

namespace {

// Each speaker of a channel mask into the stereo pair, in the mask's bit order: front left, front
// right, front centre, LFE, back left, back right, front left and right of centre, back centre,
// side left, side right, then the six top speakers. LFE is dropped: its content sits below
// 120 Hz, where the main channels of a full-range mix already carry the bass.
struct SpeakerGains {
    float left;
    float right;
};
constexpr float kMinus3Db = 0.70710678f;
constexpr SpeakerGains kSpeakerGains[] = {
    {1.0f, 0.0f},      {0.0f, 1.0f}, {kMinus3Db, kMinus3Db}, {0.0f, 0.0f}, {kMinus3Db, 0.0f},
    {0.0f, kMinus3Db}, {1.0f, 0.0f}, {0.0f, 1.0f},           {0.5f, 0.5f}, {kMinus3Db, 0.0f},
    {0.0f, kMinus3Db}, {0.5f, 0.5f}, {kMinus3Db, 0.0f},      {0.5f, 0.5f}, {0.0f, kMinus3Db},
    {kMinus3Db, 0.0f}, {0.5f, 0.5f}, {0.0f, kMinus3Db},
};
constexpr int kSpeakerBits = static_cast<int>(std::size(kSpeakerGains));
// A channel that no speaker bit names (the mask has too few bits) plays in the middle.
constexpr SpeakerGains kUnassignedGains = {kMinus3Db, kMinus3Db};

// The layouts files without a mask use, by channel count: 3.0, quad, 5.0, 5.1, 6.1, 7.1.
uint32_t DefaultChannelMask(int channels)
{
    switch (channels) {
    case 3:
        return 0x007;
    case 4:
        return 0x033;
    case 5:
        return 0x037;
    case 6:
        return 0x03F;
    case 7:
        return 0x70F;
    default:
        return 0x63F;
    }
}

} // namespace

void CChannelDownMix::Build(int channels, uint32_t channelMask, float* left, float* right)
{
    std::fill(left, left + channels, 0.0f);
    std::fill(right, right + channels, 0.0f);
    if (channels <= 2) {
        left[0] = 1.0f;
        right[channels - 1] = 1.0f;
        return;
    }
    const uint32_t mask = channelMask != 0 ? channelMask : DefaultChannelMask(channels);
    int bit = 0;
    float sumLeft = 0.0f;
    float sumRight = 0.0f;
    for (int channel = 0; channel < channels; ++channel) {
        while (bit < kSpeakerBits && (mask & (1u << bit)) == 0)
            ++bit;
        const SpeakerGains gains = bit < kSpeakerBits ? kSpeakerGains[bit++] : kUnassignedGains;
        left[channel] = gains.left;
        right[channel] = gains.right;
        sumLeft += gains.left;
        sumRight += gains.right;
    }
    // Rejected: clipping instead of scaling, which distorts exactly the loud passages a DJ plays.
    const float gain = 1.0f / std::max({sumLeft, sumRight, 1.0f});
    for (int channel = 0; channel < channels; ++channel) {
        left[channel] *= gain;
        right[channel] *= gain;
    }
}
