#pragma once

#include <cstdint>

// The gains that mix a file's channels down to stereo, by the speaker each channel feeds:
// fronts whole into their side, centre and surrounds at -3 dB into theirs (a centred rear or top
// speaker at -3 dB twice into both), the LFE channel dropped. The whole is scaled so that full
// scale on every channel at once reaches full scale and no more: a 5.1 file plays its front
// channels at 0.414 (-7.7 dB).
//
// The speakers come from a WAVE_FORMAT_EXTENSIBLE channel mask, lowest bit first for the first
// channel; without a mask from the layout files of that channel count use: 3.0 (L R C), quad
// (L R Ls Rs), 5.0, 5.1 (L R C LFE Ls Rs), 6.1 (L R C LFE Cs Ls Rs), 7.1 (L R C LFE Ls Rs Lss
// Rss). A channel the mask names no speaker for plays in the middle at -3 dB.
class CChannelDownMix {
public:
    static constexpr int kMaxChannels = 8;

    // Fills left[0..channels) and right[0..channels) with each channel's gain into that side.
    // One channel goes whole into both sides; two stay apart; the mask is only read for more.
    static void Build(int channels, uint32_t channelMask, float* left, float* right);
};
